// The console's interrupt signals (Ctrl+C, SIGTERM, Ctrl+Break, closing the console) handed to
// the program instead of ending it, for as long as a watch lives.
#pragma once

#include <functional>
#include <memory>

namespace tessaline::platform {

class ConsoleInterruptWatch {
 public:
  // `onInterrupt` runs on a thread of its own, once per signal. Only one watch at a time; threads
  // started before the watch may still take the signal's usual effect on POSIX, so start jobs
  // after it.
  explicit ConsoleInterruptWatch(std::function<void()> onInterrupt);
  ~ConsoleInterruptWatch();
  ConsoleInterruptWatch(const ConsoleInterruptWatch&) = delete;
  ConsoleInterruptWatch& operator=(const ConsoleInterruptWatch&) = delete;

  // Windows gives a closing console a few seconds: its handler waits for this before returning.
  void WorkDone();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace tessaline::platform
