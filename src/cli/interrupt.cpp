// The command line's interrupt scope: one stop request for every job of the run, a hang-up that
// starts nothing new, and a second interrupt that ends the program at once.
#include "cli/interrupt.h"

#include <cstdio>
#include <cstdlib>

#include "cli/exit_codes.h"

namespace tessaline::cli {

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
