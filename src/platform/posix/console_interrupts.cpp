// SIGINT and SIGTERM taken by sigwait on a watcher thread while the watch lives.
#include "platform/console_interrupts.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <ctime>
#include <thread>

namespace tessaline::platform {

struct ConsoleInterruptWatch::State {
  std::function<void()> onInterrupt;
  sigset_t watched{};
  sigset_t previous{};
  std::atomic<bool> quit{false};
  std::thread watcher;
};

ConsoleInterruptWatch::ConsoleInterruptWatch(std::function<void()> onInterrupt)
    : state_(std::make_unique<State>()) {
  state_->onInterrupt = std::move(onInterrupt);
  sigemptyset(&state_->watched);
  sigaddset(&state_->watched, SIGINT);
  sigaddset(&state_->watched, SIGTERM);
  // Blocked here, so every thread started from now on leaves them to sigwait.
  pthread_sigmask(SIG_BLOCK, &state_->watched, &state_->previous);
  State* state = state_.get();
  state_->watcher = std::thread([state] {
    const timespec slice{0, 100'000'000};
    while (!state->quit.load()) {
      if (sigtimedwait(&state->watched, nullptr, &slice) > 0) state->onInterrupt();
    }
  });
}

ConsoleInterruptWatch::~ConsoleInterruptWatch() {
  state_->quit = true;
  state_->watcher.join();
  pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr);
}

void ConsoleInterruptWatch::WorkDone() {}

}  // namespace tessaline::platform
