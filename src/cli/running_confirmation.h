// After the final command: waiting for the unit's application to answer the bootload query on
// its text port, which shows that the new firmware runs.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

#include "transport/unit_address.h"

namespace tessaline::cli {

inline constexpr std::uint32_t kDefaultConfirmSeconds = 60;
inline constexpr std::uint32_t kMaxConfirmSeconds = 3600;

struct RunningCheck {
  std::uint32_t limitSeconds = 0;
  bool running = false;
  char bootloadState = '\0';    // the reply's state letter ('e', 'd') once running
  std::uint64_t elapsedMs = 0;  // until the answer, or until the wait ended
  bool interrupted = false;     // the stop request ended the wait
  std::optional<SocketFailure> socketFailure;  // the text port's socket could not be set up
};

// Asks the unit's text port (the Parser Port over TCP, or the serial device at each rate) the
// bootload query until it answers, `limitSeconds` pass or `stop` is requested. Thread-safe.
RunningCheck ConfirmRunning(const UnitAddress& unit, std::uint32_t parserPort,
                            std::uint32_t limitSeconds,
                            std::stop_token stop);

}  // namespace tessaline::cli
