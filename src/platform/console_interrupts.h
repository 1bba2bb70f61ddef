// The console's signals (Ctrl+C, SIGTERM, a hang-up, Ctrl+Break, closing the console) handed to
// the program instead of ending it, for as long as a watch lives; and a closed pipe made an error.
#pragma once

#include <functional>
#include <memory>

namespace tessaline::platform {

enum class ConsoleSignal {
  Interrupt,  // SIGINT, SIGTERM; Ctrl+C, Ctrl+Break and closing the console on Windows
  HangUp,     // SIGHUP: the terminal closed or the session dropped (POSIX only)
};

// A write to a pipe whose reader has gone fails (EPIPE) instead of ending the process. Nothing to
// do on Windows, which raises no signal for it.
void IgnoreBrokenPipes();

class ConsoleInterruptWatch {
 public:
  // `onSignal` runs on a thread of its own, once per signal, never two at once. Only one watch at
  // a time; threads started before the watch may still take the signal's usual effect on POSIX,
  // so start jobs after it.
  explicit ConsoleInterruptWatch(std::function<void(ConsoleSignal)> onSignal);
  ~ConsoleInterruptWatch();
  ConsoleInterruptWatch(const ConsoleInterruptWatch&) = delete;
  ConsoleInterruptWatch& operator=(const ConsoleInterruptWatch&) = delete;

  // Windows gives a closing console a few seconds: its handler waits for this before returning.
  void WorkDone();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace tessaline::platform
