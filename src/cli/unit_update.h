// One unit's whole update on the command line: the job, then the checks and records that follow
// it. Every front end of the command line (one unit or a rack) runs a unit through this.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "cli/job_runner.h"
#include "cli/running_confirmation.h"
#include "package/package.h"
#include "receipts/receipt.h"
#include "transport/ethernet_transport_tcp.h"
#include "transport/unit_address.h"
#include "update/jobs.h"

namespace tessaline::cli {

// What the user asked for, the same for every unit of a run.
struct UpdateSettings {
  JobOptions job;      // firmware, factory defaults, trace; the guard and stop are set per unit
  bool force = false;  // no version guard
  std::string packageBuildVersion;  // the package's "build-version" ("V1.2")
  bool verify = true;  // read the version back before the final command (--no-verify: false)
  // --confirm-running[=SECONDS]: wait this long for the application to answer afterwards.
  std::optional<std::uint32_t> confirmRunningSeconds;
  std::string receiptPath;  // --receipt FILE: one line appended per unit; empty: none
  std::uint32_t parserPort = kDefaultParserPort;  // --parser-port: the text port to confirm on
};

// How one unit's update ended, with everything a summary, a JSON event or a receipt needs.
struct UnitUpdateReport {
  JobResult job;
  OutcomeReport outcome;                // exit code, result word and the text shown
  std::optional<RunningCheck> running;  // when --confirm-running was given and the job succeeded
  receipts::Receipt receipt;            // the unit's facts; `prev` empty
  bool receiptWritten = false;          // appended to UpdateSettings::receiptPath
  std::string receiptError;             // why it could not be, when it could not
};

// Runs the update job on `unit` on the calling thread; `stop` ends it at an exchange boundary.
UnitUpdateReport UpdateOneUnit(const UnitAddress& unit, const Package& package,
                               const UpdateSettings& settings, JobObserver& observer,
                               std::stop_token stop = {});

}  // namespace tessaline::cli
