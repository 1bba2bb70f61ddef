// Ctrl+C and its kin during a job: while an InterruptScope lives, SIGINT and SIGTERM (Ctrl+C,
// Ctrl+Break and closing the console on Windows) ask every running job to stop at its next
// exchange boundary, and a hang-up (SIGHUP) lets running jobs finish but starts no other; outside
// a scope they keep their usual effect. A second interrupt ends the program at once.
#pragma once

#include <atomic>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/console_interrupts.h"
#include "update/jobs.h"
#include "update/unit_stages.h"

namespace tessaline::cli {

using tessaline::StageNoting;
using tessaline::UnitStages;

// Writes a notice to standard error, dropping it when standard error is gone.
void TellOnStandardError(std::string_view text);

class InterruptScope {
 public:
  // `tell` says on standard error that a signal was seen and what happens next.
  explicit InterruptScope(std::function<void(std::string_view)> tell = TellOnStandardError);
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  // Stops when the user interrupts; shared by every job of the run.
  std::stop_token Token() const { return stop_.get_token(); }
  // Stops on an interrupt or a hang-up: no further unit may start.
  std::stop_token NoNewUnits() const { return noNewUnits_.get_token(); }
  // True once an interrupt arrived.
  bool Interrupted() const { return interrupts_.load() > 0; }
  // True once the terminal hung up.
  bool HungUp() const { return hungUp_.load(); }
  // Fed by the jobs (StageNoting), read when a second interrupt ends the program at once.
  UnitStages& Stages() { return stages_; }

 private:
  void OnSignal(platform::ConsoleSignal signal);

  std::function<void(std::string_view)> tell_;
  std::stop_source stop_;
  std::stop_source noNewUnits_;
  std::atomic<int> interrupts_{0};
  std::atomic<bool> hungUp_{false};
  UnitStages stages_;
  platform::ConsoleInterruptWatch watch_;  // last: its thread may call OnSignal until it goes
};

}  // namespace tessaline::cli
