// One unit's update on the command line: the core's update with its receipt, and the unit's
// --json result event.
#pragma once

#include "cli/job_runner.h"
#include "cli/output.h"
#include "update/recorded_update.h"

namespace tessaline::cli {

using tessaline::UnitUpdateReport;
using tessaline::UpdateOneUnit;
using tessaline::UpdateSettings;

// Only the command line has the option that overrides the version guard.
inline constexpr const char* kDeclinedHint = " Use --force to update anyway.";

// The --json "result" event of one unit: result, text and exit code as for every command, and the
// unit's facts as its receipt object under "receipt".
JsonEvent ResultEvent(const UnitUpdateReport& report);

}  // namespace tessaline::cli
