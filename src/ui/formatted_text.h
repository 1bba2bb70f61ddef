// Fills a "%s" template control (or a window caption) with a text from the package.
#pragma once

#include <windows.h>

#include <string>

namespace tessaline {

// Control id that names the window's own caption.
inline constexpr int kWindowCaption = -1;

// Reads the target's current text as a template whose one "%s" receives `value` (an empty
// template takes the value itself). A missing value (null or "-not-present-") hides the control,
// never the window, and returns false.
bool SetFormattedItemText(HWND window, int controlId, const std::string* value);

// True for a value that is absent or marked "-not-present-".
bool IsMissingValue(const std::string* value);

// The template with its first "%s" replaced by `value`; without "%s" the template is kept.
std::wstring FormatTemplate(const std::wstring& format, const std::wstring& value);

}  // namespace tessaline
