// Routes the windows' message boxes to the handler a host installed (tests), else to the system.
#include "platform/message_box.h"

#include <mutex>
#include <utility>

namespace tessaline::platform {

namespace {
std::mutex& HandlerMutex() {
  static std::mutex mutex;
  return mutex;
}
MessageBoxHandler& CurrentHandler() {
  static MessageBoxHandler handler;
  return handler;
}
}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(HandlerMutex());
  return std::exchange(CurrentHandler(), std::move(handler));
}

MessageBoxResult ShowMessageBox(const MessageBoxRequest& request) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(HandlerMutex());
    handler = CurrentHandler();
  }
  // Called outside the lock: a box may wait for the user for a long time.
  if (handler) return handler(request);
  return PlatformMessageBox(request);
}

}  // namespace tessaline::platform
