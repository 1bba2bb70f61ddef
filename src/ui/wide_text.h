// The UI's short names for the platform's UTF-8 <-> UTF-16 conversion.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/wide_text.h"

namespace tessaline {

inline std::wstring Widen(std::string_view utf8) { return platform::WideFromUtf8(utf8); }
inline std::string Narrow(std::wstring_view wide) { return platform::Utf8FromWide(wide); }

}  // namespace tessaline
