// After the final command: waiting for the unit's application to answer the bootload query on
// its text port, which shows that the new firmware runs.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

#include "transport/unit_address.h"
#include "update/jobs.h"

namespace tessaline {

inline constexpr std::uint32_t kDefaultConfirmSeconds = 60;
inline constexpr std::uint32_t kMaxConfirmSeconds = 3600;

// Asks the unit's text port (the Parser Port over TCP, or the serial device at each rate) the
// bootload query until it answers, `limitSeconds` pass or `stop` is requested. Thread-safe.
RunningCheck ConfirmRunning(const UnitAddress& unit, std::uint32_t parserPort,
                            std::uint32_t limitSeconds,
                            std::stop_token stop);

}  // namespace tessaline
