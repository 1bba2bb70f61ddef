// One unit's whole update on the command line: the job, then the checks and records that follow
// it. Every front end of the command line (one unit or a rack) runs a unit through this.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stop_token>
#include <string>

#include "cli/job_runner.h"
#include "package/package.h"
#include "transport/unit_address.h"
#include "update/jobs.h"

namespace tessaline::cli {

// What the user asked for, the same for every unit of a run.
struct UpdateSettings {
  JobOptions job;  // firmware, factory defaults, trace; the guard and stop are set per unit
  bool force = false;  // no version guard
  std::string packageBuildVersion;  // the package's "build-version" ("V1.2")
};

// How one unit's update ended, with everything a summary, a JSON event or a receipt needs.
struct UnitUpdateReport {
  JobResult job;
  OutcomeReport outcome;  // exit code, result word and the text shown
};

// Runs the update job on `unit` on the calling thread; `stop` ends it at an exchange boundary.
UnitUpdateReport UpdateOneUnit(const UnitAddress& unit, const Package& package,
                               const UpdateSettings& settings, JobObserver& observer,
                               std::stop_token stop = {});

}  // namespace tessaline::cli
