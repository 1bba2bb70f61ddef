// Ctrl+C, Ctrl+Break and closing the console taken by a console control handler while the watch
// lives.
#include "platform/console_interrupts.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace tessaline::platform {

void IgnoreBrokenPipes() {}

struct ConsoleInterruptWatch::State {
  std::function<void(ConsoleSignal)> onSignal;
  std::atomic<bool> done{false};
};

namespace {
std::mutex watchMutex;
// Each handler call holds its own reference: a close event's wait outlives the watch's end.
std::shared_ptr<ConsoleInterruptWatch::State> activeWatch;
// Windows ends the process about 5 s after a close event, whatever the handler does.
constexpr DWORD kCloseGraceMs = 4500;
constexpr DWORD kCloseGraceSliceMs = 50;

BOOL WINAPI OnConsoleControl(DWORD event) {
  std::shared_ptr<ConsoleInterruptWatch::State> state;
  {
    // Held while the callback runs, so the watch's end waits for a call in progress.
    std::lock_guard lock(watchMutex);
    state = activeWatch;
    if (!state) return FALSE;
    // The process ends soon after a close whatever happens: stopping at the next boundary is all
    // there is time for, so it is an interrupt, not a hang-up.
    state->onSignal(ConsoleSignal::Interrupt);
  }
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning lets the process end: first give the job its boundary.
    for (DWORD waited = 0; waited < kCloseGraceMs && !state->done.load();
         waited += kCloseGraceSliceMs) {
      Sleep(kCloseGraceSliceMs);
    }
  }
  return TRUE;
}
}  // namespace

ConsoleInterruptWatch::ConsoleInterruptWatch(std::function<void(ConsoleSignal)> onSignal)
    : state_(std::make_shared<State>()) {
  state_->onSignal = std::move(onSignal);
  {
    std::lock_guard lock(watchMutex);
    activeWatch = state_;
  }
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

ConsoleInterruptWatch::~ConsoleInterruptWatch() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  std::lock_guard lock(watchMutex);
  activeWatch.reset();
}

void ConsoleInterruptWatch::WorkDone() { state_->done = true; }

}  // namespace tessaline::platform
