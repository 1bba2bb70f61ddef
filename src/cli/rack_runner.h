// The command line's rack options: --parallel and --max-failures read into the core's RackLimits,
// and the warning for a failure budget that cannot act.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "cli/interrupt.h"
#include "cli/unit_update.h"
#include "update/rack_run.h"

namespace tessaline::cli {

using tessaline::kDefaultParallelUnits;
using tessaline::kMaxRackUnits;
using tessaline::RackLimits;
using tessaline::RackObserver;
using tessaline::RackStops;
using tessaline::RackUnitResult;
using tessaline::RunRack;
using tessaline::UnitJob;

// --parallel N and --max-failures K; none with a message in `error` when a value is bad.
std::optional<RackLimits> RackLimitsFrom(const CommandLine& line, std::string& error);
// Why --max-failures cannot stop anything for `unitCount` units (every unit starts at once, or
// the budget is the whole rack); none when it can, or when no budget was given.
std::optional<std::string> MaxFailuresWarning(const RackLimits& limits, std::size_t unitCount);

}  // namespace tessaline::cli
