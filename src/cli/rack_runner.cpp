// The command line's rack options: parsing --parallel and --max-failures, and the budget's warning.
#include "cli/rack_runner.h"

namespace tessaline::cli {

std::optional<RackLimits> RackLimitsFrom(const CommandLine& line, std::string& error) {
  RackLimits limits;
  if (line.Has("parallel")) {
    const auto value = line.Number("parallel", 1, static_cast<std::uint32_t>(kMaxRackUnits), error);
    if (!value) return std::nullopt;
    limits.parallel = *value;
  }
  if (line.Has("max-failures")) {
    const auto value =
        line.Number("max-failures", 1, static_cast<std::uint32_t>(kMaxRackUnits), error);
    if (!value) return std::nullopt;
    limits.maxFailures = *value;
  }
  return limits;
}

std::optional<std::string> MaxFailuresWarning(const RackLimits& limits, std::size_t unitCount) {
  if (limits.maxFailures == 0) return std::nullopt;
  const std::string budget = "--max-failures " + std::to_string(limits.maxFailures);
  if (limits.maxFailures >= unitCount) {
    return budget + " cannot stop anything: the rack has only " + std::to_string(unitCount) +
           " units.";
  }
  if (limits.parallel >= unitCount) {
    return budget + " cannot stop anything: all " + std::to_string(unitCount) +
           " units start at once. Give --parallel below " + std::to_string(unitCount) +
           " to start them in turns.";
  }
  return std::nullopt;
}

}  // namespace tessaline::cli
