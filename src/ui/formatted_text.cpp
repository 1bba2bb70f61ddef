// Filling of "%s" template controls from the package's properties.
#include "ui/formatted_text.h"

#include <array>

#include "ui/wide_text.h"

namespace tessaline {
namespace {
constexpr int kTemplateChars = 512;  // template buffer, terminator included
constexpr std::string_view kNotPresent = "-not-present-";
}  // namespace

std::wstring FormatTemplate(const std::wstring& format, const std::wstring& value) {
  if (format.empty()) return value;
  std::wstring result = format;
  const auto at = result.find(L"%s");
  if (at != std::wstring::npos) result.replace(at, 2, value);
  return result;
}

bool IsMissingValue(const std::string* value) {
  return value == nullptr || *value == kNotPresent;
}

bool SetFormattedItemText(HWND window, int controlId, const std::string* value) {
  const bool isWindow = controlId == kWindowCaption;
  HWND target = isWindow ? window : GetDlgItem(window, controlId);
  if (IsMissingValue(value)) {
    // A missing value hides a control, never the window itself.
    if (isWindow || target == nullptr) return false;
    ShowWindow(target, SW_HIDE);
    return true;
  }
  if (target == nullptr) return false;
  std::array<wchar_t, kTemplateChars> buffer{};
  GetWindowTextW(target, buffer.data(), kTemplateChars);
  SetWindowTextW(target, FormatTemplate(buffer.data(), Widen(*value)).c_str());
  return true;
}

}  // namespace tessaline
