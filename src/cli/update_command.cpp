// The "update" and "exit-bootload" commands: the desktop program's two jobs on the command line.
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/job_runner.h"
#include "cli/package_choice.h"
#include "cli/unit_address.h"
#include "cli/unit_update.h"
#include "link/bootloader_commands.h"
#include "package/package_globals.h"
#include "update/jobs.h"

namespace tessaline::cli {

namespace {
int Finish(Output& output, const JobResult& result, std::string declinedText = {}) {
  OutcomeReport report = ReportFor(result);
  if (result.outcome == JobOutcome::Declined) report.text = std::move(declinedText);
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
  UpdateSettings settings;
  settings.job.firmware = !line.Has("no-firmware");
  settings.job.factoryDefaults = line.Has("factory-defaults");
  if (line.Has("trace")) settings.job.trace = FrameTrace();
  settings.force = line.Has("force");
  const PackageChoice choice = ChoosePackageForUpdate(line, settings.job.firmware);
  if (!choice.package) {
    output.Result(choice.result, choice.text, choice.exitCode);
    return choice.exitCode;
  }
  settings.packageBuildVersion = choice.package->UnitTexts().GetString("build-version");

  OutputProgress progress(output);
  const UnitUpdateReport report = UpdateOneUnit(*unit, *choice.package, settings, progress);
  output.Result(report.outcome.result, report.outcome.text, report.outcome.exitCode);
  return report.outcome.exitCode;
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
  return Finish(output, RunExitBootloadJob(*unit, options, progress));
}

}  // namespace tessaline::cli
