// The default message box on Windows: MessageBoxW with the texts in UTF-16.
#include "platform/message_box.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

namespace {
UINT IconFlag(MessageBoxIcon icon) {
  switch (icon) {
    case MessageBoxIcon::Error:
      return MB_ICONERROR;
    case MessageBoxIcon::Warning:
      return MB_ICONWARNING;
    case MessageBoxIcon::Question:
      return MB_ICONQUESTION;
    case MessageBoxIcon::Information:
      break;
  }
  return MB_ICONINFORMATION;
}

UINT ButtonFlag(MessageBoxButtons buttons) {
  switch (buttons) {
    case MessageBoxButtons::OkCancel:
      return MB_OKCANCEL;
    case MessageBoxButtons::YesNo:
      return MB_YESNO;
    case MessageBoxButtons::Ok:
      break;
  }
  return MB_OK;
}
}  // namespace

MessageBoxResult PlatformMessageBox(const MessageBoxRequest& request) {
  const std::wstring text = WideFromUtf8(request.text);
  const std::wstring caption = WideFromUtf8(request.caption);
  switch (MessageBoxW(static_cast<HWND>(request.owner), text.c_str(), caption.c_str(),
                      IconFlag(request.icon) | ButtonFlag(request.buttons))) {
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
