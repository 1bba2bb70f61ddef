// The "update" and "exit-bootload" commands: the desktop program's two jobs on the command line.
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/job_runner.h"
#include "cli/unit_address.h"
#include "cli/version_guard.h"
#include "link/bootloader_commands.h"
#include "package/package_globals.h"
#include "update/jobs.h"

namespace tessaline::cli {

namespace {
int Finish(Output& output, JobOutcome outcome, std::string declinedText = {}) {
  OutcomeReport report = ReportFor(outcome);
  if (outcome == JobOutcome::Declined) report.text = std::move(declinedText);
  output.Result(report.result, report.text, report.exitCode);
  return report.exitCode;
}
}  // namespace

int RunUpdateCommand(const CommandLine& line, Output& output) {
  std::string error;
  const auto unit = UnitAddressFrom(line, error);
  if (!unit) {
    output.Error(error);
    return kExitUsage;
  }
  // The user's choices, as the desktop program's check boxes would set them.
  JobOptions options;
  options.firmware = !line.Has("no-firmware");
  options.factoryDefaults = line.Has("factory-defaults");
  if (line.Has("trace")) options.trace = FrameTrace();

  const std::string buildVersion = UnitProperties().GetString("build-version");
  const auto packageVersion = ParseBuildVersion(buildVersion);
  if (options.firmware && !line.Has("force")) {
    options.versionGuard = [&](std::optional<std::uint32_t> version) {
      return UpdateWanted(version, packageVersion);
    };
  }

  OutputProgress progress(output);
  const JobResult result = RunUpdateJob(*unit, *EmbeddedPackage(), options, progress);

  std::string declined;
  const auto& unitVersion = result.applicationVersionBefore;
  if (result.outcome == JobOutcome::Declined && unitVersion && packageVersion) {
    declined = "The unit already runs application version " +
               FormatApplicationVersion(*unitVersion) +
               (*unitVersion == *packageVersion ? ", the version of this package ("
                                                : ", newer than this package's (") +
               buildVersion + "). Nothing was erased; use --force to update anyway.";
  }
  return Finish(output, result.outcome, std::move(declined));
}

int RunExitBootloadCommand(const CommandLine& line, Output& output) {
  std::string error;
  const auto unit = UnitAddressFrom(line, error);
  if (!unit) {
    output.Error(error);
    return kExitUsage;
  }
  JobOptions options;
  if (line.Has("trace")) options.trace = FrameTrace();
  OutputProgress progress(output);
  return Finish(output, RunExitBootloadJob(*unit, options, progress).outcome);
}

}  // namespace tessaline::cli
