// Ctrl+C and its kin during a job: while an InterruptScope lives, SIGINT and SIGTERM (Ctrl+C,
// Ctrl+Break and closing the console on Windows) ask every running job to stop at its next
// exchange boundary instead of ending the process; outside one they keep their usual effect.
#pragma once

#include <atomic>
#include <stop_token>

#include "platform/console_interrupts.h"

namespace tessaline::cli {

class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  // Stops when the user interrupts; shared by every job of the run.
  std::stop_token Token() const { return stop_.get_token(); }
  // True once an interrupt arrived.
  bool Interrupted() const { return interrupted_.load(); }

 private:
  std::stop_source stop_;
  std::atomic<bool> interrupted_{false};
  platform::ConsoleInterruptWatch watch_;
};

}  // namespace tessaline::cli
