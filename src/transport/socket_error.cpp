// Shows the socket set-up failures, owned by no window, with an error icon.
#include "transport/socket_error.h"

#include "platform/message_box.h"

namespace tessaline {

void ShowSocketError(StringId text) {
  platform::MessageBoxRequest request;
  request.text = UiString(text);
  request.caption = UiString(IDS_SOCKET_ERROR);
  request.icon = platform::MessageBoxIcon::Error;
  platform::ShowMessageBox(request);
}

}  // namespace tessaline
