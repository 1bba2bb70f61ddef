// The default message box without a desktop: one line on stderr, answering the affirmative button.
#include "platform/message_box.h"

#include <cstdio>

namespace tessaline::platform {

MessageBoxResult PlatformMessageBox(const MessageBoxRequest& request) {
  std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
  std::fflush(stderr);
  return request.buttons == MessageBoxButtons::YesNo ? MessageBoxResult::Yes : MessageBoxResult::Ok;
}

}  // namespace tessaline::platform
