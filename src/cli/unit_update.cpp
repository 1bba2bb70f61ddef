// One unit's update on the command line: the version guard's policy and the outcome's report.
#include "cli/unit_update.h"

#include "cli/version_guard.h"
#include "link/bootloader_commands.h"

namespace tessaline::cli {

UnitUpdateReport UpdateOneUnit(const UnitAddress& unit, const Package& package,
                               const UpdateSettings& settings, JobObserver& observer,
                               std::stop_token stop) {
  JobOptions options = settings.job;
  options.stop = stop;
  const auto packageVersion = ParseBuildVersion(settings.packageBuildVersion);
  if (options.firmware && !settings.force) {
    options.versionGuard = [&](std::optional<std::uint32_t> version) {
      return UpdateWanted(version, packageVersion);
    };
  }
  UnitUpdateReport report{RunUpdateJob(unit, package, options, observer), {}};
  report.outcome = ReportFor(report.job);
  const auto& unitVersion = report.job.applicationVersionBefore;
  if (report.job.outcome == JobOutcome::Declined && unitVersion && packageVersion) {
    report.outcome.text =
        "The unit already runs application version " + FormatApplicationVersion(*unitVersion) +
        (*unitVersion == *packageVersion ? ", the version of this package ("
                                         : ", newer than this package's (") +
        settings.packageBuildVersion + "). Nothing was erased; use --force to update anyway.";
  }
  return report;
}

}  // namespace tessaline::cli
