// The command line's interrupt scope: one stop request for every job of the run, a hang-up that
// starts nothing new, and a second interrupt that ends the program at once.
#include "cli/interrupt.h"

#include <cstdio>
#include <cstdlib>

#include "cli/exit_codes.h"
#include "update/verdict.h"

namespace tessaline::cli {

void UnitStages::Began(const std::string& unit, Stage stage) {
  std::lock_guard guard(lock_);
  for (auto& [name, at] : running_) {
    if (name == unit) {
      at = stage;
      return;
    }
  }
  running_.emplace_back(unit, stage);
}

void UnitStages::Ended(const std::string& unit) {
  std::lock_guard guard(lock_);
  std::erase_if(running_, [&](const auto& entry) { return entry.first == unit; });
}

std::string UnitStages::EndedAtOnceText() const {
  std::lock_guard guard(lock_);
  std::string text;
  for (const auto& [unit, stage] : running_) {
    text += unit + ": ended at once " + WhatStoppingLeaves(stage) + "\n";
  }
  return text;
}

StageNoting::StageNoting(UnitStages& stages, std::string unit, JobObserver& inner)
    : stages_(stages), unit_(std::move(unit)), inner_(inner) {
  // Until its first stage the job only opens the port and asks who the unit is.
  stages_.Began(unit_, Stage::Initializing);
}

void StageNoting::StageBegan(Stage stage, std::uint32_t units) {
  stages_.Began(unit_, stage);
  inner_.StageBegan(stage, units);
}

void StageNoting::Finished(const JobResult& result) {
  stages_.Ended(unit_);
  inner_.Finished(result);
}

void TellOnStandardError(std::string_view text) {
  // A closed standard error is no reason to stop: the notice is simply lost.
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

InterruptScope::InterruptScope(std::function<void(std::string_view)> tell)
    : tell_(std::move(tell)),
      watch_([this](platform::ConsoleSignal signal) { OnSignal(signal); }) {}

InterruptScope::~InterruptScope() { watch_.WorkDone(); }

void InterruptScope::OnSignal(platform::ConsoleSignal signal) {
  if (signal == platform::ConsoleSignal::HangUp) {
    if (hungUp_.exchange(true)) return;
    noNewUnits_.request_stop();
    tell_(
        "\nHang-up: units already being written finish and their receipts are written; no other "
        "unit starts.\n");
    return;
  }
  if (interrupts_.fetch_add(1) == 0) {
    tell_(
        "\nInterrupt: each running unit stops at its next exchange, within a second, and no "
        "other unit starts. Press Ctrl+C again to end at once.\n");
    noNewUnits_.request_stop();
    stop_.request_stop();
    return;
  }
  // The user would rather leave the units as they are now than wait for a boundary; no receipt
  // is written for a unit still running.
  const std::string units = stages_.EndedAtOnceText();
  tell_("\nEnded at once" + std::string(units.empty() ? "." : "; no receipt was written for:") +
        "\n" + units);
  std::_Exit(kExitInterrupted);
}

}  // namespace tessaline::cli
