// The default message box on Windows: MessageBoxW with the texts in UTF-16.
#include "platform/message_box.h"

#include <windows.h>

#include <iterator>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

namespace {
// Indexed by the enums, in their order.
constexpr UINT kIconFlags[] = {MB_ICONERROR, MB_ICONWARNING, MB_ICONINFORMATION, MB_ICONQUESTION};
constexpr UINT kButtonFlags[] = {MB_OK, MB_OKCANCEL, MB_YESNO};
// A new icon or button set must get its flags here, not read past the end.
static_assert(std::size(kIconFlags) == static_cast<std::size_t>(MessageBoxIcon::Question) + 1);
static_assert(std::size(kButtonFlags) == static_cast<std::size_t>(MessageBoxButtons::YesNo) + 1);
}  // namespace

MessageBoxResult PlatformMessageBox(const MessageBoxRequest& request) {
  const std::wstring text = WideFromUtf8(request.text);
  const std::wstring caption = WideFromUtf8(request.caption);
  switch (MessageBoxW(static_cast<HWND>(request.owner), text.c_str(), caption.c_str(),
                      kIconFlags[static_cast<int>(request.icon)] |
                          kButtonFlags[static_cast<int>(request.buttons)])) {
    case IDCANCEL:
      return MessageBoxResult::Cancel;
    case IDYES:
      return MessageBoxResult::Yes;
    case IDNO:
      return MessageBoxResult::No;
    default:
      return MessageBoxResult::Ok;
  }
}

}  // namespace tessaline::platform
