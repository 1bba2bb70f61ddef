// A rack of simulated units in one process: unit k (1-based) takes the k-th consecutive address,
// its own pseudo-terminal, memory, log file and fault seed (seed + k - 1).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulated_unit.h"

namespace tessaline::sim {

inline constexpr std::uint32_t kMaxRackUnits = 254;

// The configurations of `count` units derived from the first one; nothing, with the reason, when
// an address would run past x.x.x.255 or cannot be read.
std::optional<std::vector<UnitConfig>> RackConfigs(const UnitConfig& first, std::uint32_t count,
                                                   std::string* error);

// The log file of unit `index` (1-based): the path itself for a single unit, otherwise the
// index before the extension ("unit.json" -> "unit-2.json").
std::string RackLogPath(const std::string& path, std::uint32_t index, std::uint32_t count);

}  // namespace tessaline::sim
