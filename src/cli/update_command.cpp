// The "update" and "exit-bootload" commands: the desktop program's two jobs on the command line.
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/job_runner.h"
#include "cli/receipt_builder.h"
#include "cli/running_confirmation.h"
#include "cli/unit_address.h"
#include "cli/unit_update.h"
#include "link/bootloader_commands.h"
#include "package/package_globals.h"
#include "update/jobs.h"

namespace tessaline::cli {

namespace {
int Finish(Output& output, JobOutcome outcome, std::string declinedText = {}) {
  OutcomeReport report = ReportFor(outcome);
  if (outcome == JobOutcome::Declined) report.text = std::move(declinedText);
  if (outcome == JobOutcome::Interrupted) {
    report.text = "Interrupted before the exit command: the unit stays in bootload mode.";
  }
  output.Result(report.result, report.text, report.exitCode);
  return report.exitCode;
}

// --no-verify, --confirm-running[=SECONDS], --parser-port and --receipt; false with `error`.
bool ReadCheckOptions(const CommandLine& line, UpdateSettings& settings, std::string& error) {
  settings.verify = !line.Has("no-verify");
  if (const auto seconds = line.Value("confirm-running")) {
    settings.confirmRunningSeconds =
        seconds->empty() ? std::optional(kDefaultConfirmSeconds)
                         : line.Number("confirm-running", 1, kMaxConfirmSeconds, error);
    if (!settings.confirmRunningSeconds) return false;
  }
  if (const auto path = line.Value("receipt")) settings.receiptPath = *path;
  return ApplyParserPortOption(line, error);
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
  settings.packageBuildVersion = UnitProperties().GetString("build-version");
  if (!ReadCheckOptions(line, settings, error)) {
    output.Error(error);
    return kExitUsage;
  }
  settings.notice = [&output](const UnitAddress&, std::string_view text) { output.Line(text); };

  OutputProgress progress(output);
  const InterruptScope interrupts;
  const UnitUpdateReport report =
      UpdateOneUnit(*unit, *EmbeddedPackage(), settings, progress, interrupts.Token());
  if (output.Mode() == OutputMode::Json) {
    output.Event(ResultEvent(report));
  } else {
    output.Result(report.outcome.result, report.outcome.text, report.outcome.exitCode);
  }
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
  const InterruptScope interrupts;
  options.stop = interrupts.Token();
  return Finish(output, RunExitBootloadJob(*unit, options, progress).outcome);
}

}  // namespace tessaline::cli
