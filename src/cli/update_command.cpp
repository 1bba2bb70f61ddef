// The "update" and "exit-bootload" commands: the desktop program's two jobs on the command line.
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/job_runner.h"
#include "cli/unit_address.h"
#include "cli/version_guard.h"
#include "package/package_globals.h"
#include "shell/settings.h"
#include "shell/ui_strings.h"
#include "update/jobs.h"
#include "update/progress.h"

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
  auto transport = MakeBootloaderTransport(line, error);
  if (!transport) {
    output.Error(error);
    return kExitUsage;
  }
  // The user's choices, as the desktop program's check boxes would set them.
  OverwriteFirmware = !line.Has("no-firmware");
  OverwriteFactoryDefaults = line.Has("factory-defaults");

  BootloaderLink link;
  if (line.Has("trace")) InstallFrameTrace(link);
  JobEnvironment environment;
  environment.link = &link;

  const std::string buildVersion = UnitProperties().GetString("build-version");
  const auto packageVersion = ParseBuildVersion(buildVersion);
  std::optional<std::uint32_t> unitVersion;
  if (OverwriteFirmware && !line.Has("force")) {
    environment.versionGuard = [&](std::optional<std::uint32_t> version) {
      unitVersion = version;
      return UpdateWanted(version, packageVersion);
    };
  }

  // The job is waiting for the range to be shown, so its images can be read safely here.
  const auto stagePlan = [](Output& shown) {
    shown.SetStageTotal(UiString(IDS_STAGE_APPLICATION), ApplicationImage().RecordCount());
    shown.SetStageTotal(UiString(IDS_STAGE_UI), FlashDataImage().GetImageSize());
    shown.SetStageTotal(UiString(IDS_STAGE_FACTORY_DEFAULTS), kFactoryDefaultsWeight);
  };
  const JobOutcome outcome = RunJobWithProgress(
      [&environment](UnitRequest request) { return RunUpdateJob(std::move(request), environment); },
      std::move(transport), output, stagePlan);

  std::string declined;
  if (outcome == JobOutcome::Declined && unitVersion && packageVersion) {
    declined = "The unit already runs application version " + FormatVersion(*unitVersion) +
               (*unitVersion == *packageVersion ? ", the version of this package ("
                                                : ", newer than this package's (") +
               buildVersion + "). Nothing was erased; use --force to update anyway.";
  }
  return Finish(output, outcome, std::move(declined));
}

int RunExitBootloadCommand(const CommandLine& line, Output& output) {
  std::string error;
  auto transport = MakeBootloaderTransport(line, error);
  if (!transport) {
    output.Error(error);
    return kExitUsage;
  }
  BootloaderLink link;
  if (line.Has("trace")) InstallFrameTrace(link);
  JobEnvironment environment;
  environment.link = &link;
  const JobOutcome outcome = RunJobWithProgress(
      [&environment](UnitRequest request) {
        return RunExitBootloadJob(std::move(request), environment);
      },
      std::move(transport), output);
  return Finish(output, outcome);
}

}  // namespace tessaline::cli
