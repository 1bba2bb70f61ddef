// Ctrl+C, Ctrl+Break and closing the console taken by a console control handler while the watch
// lives.
#include "platform/console_interrupts.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace tessaline::platform {

struct ConsoleInterruptWatch::State {
  std::function<void()> onInterrupt;
  std::atomic<bool> done{false};
};

namespace {
std::mutex watchMutex;
ConsoleInterruptWatch::State* activeWatch = nullptr;
// Windows ends the process about 5 s after a close event, whatever the handler does.
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD event) {
  std::unique_lock lock(watchMutex);
  ConsoleInterruptWatch::State* state = activeWatch;
  if (state == nullptr) return FALSE;
  state->onInterrupt();
  lock.unlock();
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning lets the process end: first give the job its boundary.
    for (DWORD waited = 0; waited < kCloseGraceMs && !state->done.load(); waited += 50) Sleep(50);
  }
  return TRUE;
}
}  // namespace

ConsoleInterruptWatch::ConsoleInterruptWatch(std::function<void()> onInterrupt)
    : state_(std::make_unique<State>()) {
  state_->onInterrupt = std::move(onInterrupt);
  {
    std::lock_guard lock(watchMutex);
    activeWatch = state_.get();
  }
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

ConsoleInterruptWatch::~ConsoleInterruptWatch() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  std::lock_guard lock(watchMutex);
  activeWatch = nullptr;
}

void ConsoleInterruptWatch::WorkDone() { state_->done = true; }

}  // namespace tessaline::platform
