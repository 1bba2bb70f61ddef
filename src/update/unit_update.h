// One unit's whole update with the package's policy: the version guard, the read-back, the final
// command's check and the running confirmation. The one call every front end runs a unit through.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include "package/package.h"
#include "transport/ethernet_transport_tcp.h"
#include "transport/unit_address.h"
#include "update/jobs.h"
#include "update/version_guard.h"

namespace tessaline {

// What the user asked for, the same for every unit of a run.
struct UnitUpdatePolicy {
  JobOptions job;      // firmware, factory defaults, trace, clock; guard, read-back and stop are set here
  bool force = false;  // no version guard, and no build version needed
  bool verify = true;  // read the version back before the final command
  // Wait this long for the application to answer on its text port after the final command.
  std::optional<std::uint32_t> confirmRunningSeconds;
  std::uint32_t parserPort = kDefaultParserPort;  // the text port to confirm on
  // A unit newer than the package is asked about through this; without it, it is declined.
  DowngradeQuestion askBeforeDowngrade;
};

// Why this package cannot update firmware under `policy` (its build version is missing or
// unreadable and --force was not given); none when it can. Front ends ask before contacting any
// unit; UpdateUnit asks again and ends in PackageRefused.
std::optional<std::string> PackageRefusal(const Package& package, const UnitUpdatePolicy& policy);

// Runs the update on `unit` on the calling thread. The observer hears the job's progress, its
// messages and, last, Finished with the whole verdict (the running check included).
JobResult UpdateUnit(const UnitAddress& unit, const Package& package, const UnitUpdatePolicy& policy,
                     JobObserver& observer, std::stop_token stop = {});
// The same over a transport of the caller's; the running confirmation needs `unit` to ask on and
// is made only when it is given.
JobResult UpdateUnit(std::unique_ptr<Transport> transport, const Package& package,
                     const UnitUpdatePolicy& policy, JobObserver& observer,
                     std::stop_token stop = {}, const UnitAddress* unit = nullptr);

}  // namespace tessaline
