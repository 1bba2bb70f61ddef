// SIGINT, SIGTERM and SIGHUP taken by sigwait on a watcher thread while the watch lives; SIGPIPE
// ignored for good.
#include "platform/console_interrupts.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <ctime>
#include <thread>

namespace tessaline::platform {

void IgnoreBrokenPipes() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

struct ConsoleInterruptWatch::State {
  std::function<void(ConsoleSignal)> onSignal;
  sigset_t watched{};
  sigset_t previous{};
  std::atomic<bool> quit{false};
  std::thread watcher;
};

ConsoleInterruptWatch::ConsoleInterruptWatch(std::function<void(ConsoleSignal)> onSignal)
    : state_(std::make_shared<State>()) {
  state_->onSignal = std::move(onSignal);
  sigemptyset(&state_->watched);
  sigaddset(&state_->watched, SIGINT);
  sigaddset(&state_->watched, SIGTERM);
  sigaddset(&state_->watched, SIGHUP);
  // Blocked here, so every thread started from now on leaves them to sigwait.
  pthread_sigmask(SIG_BLOCK, &state_->watched, &state_->previous);
  State* state = state_.get();
  state_->watcher = std::thread([state] {
    // Short enough that the watch ends promptly; a signal is taken the moment it arrives.
    const timespec slice{0, 100'000'000};
    while (!state->quit.load()) {
      const int taken = sigtimedwait(&state->watched, nullptr, &slice);
      if (taken == SIGHUP) state->onSignal(ConsoleSignal::HangUp);
      if (taken == SIGINT || taken == SIGTERM) state->onSignal(ConsoleSignal::Interrupt);
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
