// The "update" and "exit-bootload" commands: the desktop program's two jobs on the command line.
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/job_runner.h"
#include "cli/package_choice.h"
#include "cli/rack_output.h"
#include "cli/rack_runner.h"
#include "cli/unit_address.h"
#include "cli/unit_list.h"
#include "cli/unit_update.h"
#include "link/bootloader_commands.h"
#include "receipts/receipt_log.h"
#include "update/jobs.h"
#include "update/running_confirmation.h"
#include "update/unit_update.h"

namespace tessaline::cli {

namespace {
// The exit-bootload job's verdict: its interruption always comes before the exit command.
OutcomeReport ExitBootloadReport(const JobResult& result, const PropertiesContainer& updaterTexts) {
  OutcomeReport report = ReportFor(result, updaterTexts);
  if (result.outcome == JobOutcome::Interrupted) {
    report.text = "Interrupted before the exit command: the unit stays in bootload mode.";
  }
  return report;
}

// The units named (--all: those announcing `identity`) and the rack's limits; false (after
// saying why) when the run cannot start.
bool ReadUnits(const CommandLine& line, Output& output, std::string_view identity, UnitList& units,
               RackLimits& limits, int& exitCode) {
  units = UnitListFrom(line, output, identity);
  std::string error;
  const auto rackLimits = RackLimitsFrom(line, error);
  if (units.exitCode != 0 || !rackLimits) {
    output.Error(units.exitCode != 0 ? units.error : error);
    exitCode = units.exitCode != 0 ? units.exitCode : kExitUsage;
    return false;
  }
  limits = *rackLimits;
  return true;
}

// The run's exit code once a hang-up may have cut it short.
int AfterHangUp(const InterruptScope& interrupt, int exitCode) {
  return interrupt.HungUp() && !interrupt.Interrupted() ? kExitHungUp : exitCode;
}

// Several units at once; one Ctrl+C stops every running job the same way.
int RunRackOf(const std::vector<UnitAddress>& units, const RackLimits& limits, const UnitJob& job,
              Output& output) {
  if (const auto warning = MaxFailuresWarning(limits, units.size())) output.Error(*warning);
  InterruptScope interrupt;
  RackOutput rack(output, units);
  const auto results = RunRack(units, job, limits, rack,
                               {interrupt.Token(), interrupt.NoNewUnits(), &interrupt.Stages()});
  return AfterHangUp(interrupt, rack.Summary(results, interrupt.Interrupted()));
}

// --no-verify, --confirm-running[=SECONDS], --parser-port and --receipt; false with `error`.
bool ReadCheckOptions(const CommandLine& line, UpdateSettings& settings, std::string& error) {
  UnitUpdatePolicy& policy = settings.policy;
  policy.verify = !line.Has("no-verify");
  if (const auto seconds = line.Value("confirm-running")) {
    policy.confirmRunningSeconds =
        seconds->empty() ? std::optional(kDefaultConfirmSeconds)
                         : line.Number("confirm-running", 1, kMaxConfirmSeconds, error);
    if (!policy.confirmRunningSeconds) return false;
  }
  if (const auto path = line.Value("receipt")) settings.receiptPath = *path;
  return ApplyParserPortOption(line, policy.parserPort, error);
}
// The receipts chain's head after the run, to be noted elsewhere; passes `exitCode` on. A file
// that cannot be read now was already reported by the append that failed.
int ShowChainHead(const std::string& receiptPath, Output& output, int exitCode) {
  if (receiptPath.empty()) return exitCode;
  std::string error;
  const auto head = receipts::ChainHead(receiptPath, error);
  if (!head || head->empty()) return exitCode;
  if (output.Mode() == OutputMode::Json) {
    output.Event({{"event", "receipts_head"}, {"file", receiptPath}, {"head", *head}});
  } else {
    output.Line("Receipts " + receiptPath + ": chain head " + *head);
  }
  return exitCode;
}

}  // namespace

int RunUpdateCommand(const CommandLine& line, Output& output) {
  // The user's choices, as the desktop program's check boxes would set them.
  UpdateSettings settings;
  UnitUpdatePolicy& policy = settings.policy;
  policy.job.firmware = !line.Has("no-firmware");
  policy.job.factoryDefaults = line.Has("factory-defaults");
  if (line.Has("trace")) policy.job.trace = FrameTrace();
  policy.force = line.Has("force");
  const PackageChoice choice = ChoosePackageForUpdate(line, policy.job.firmware);
  // A mistake in naming the units is told before the package's refusal. --all seeks the units of
  // the chosen package's model (the built-in one's when that package is refused).
  UnitList units;
  RackLimits limits;
  int refused = 0;
  const std::string identity =
      DiscoveryIdentity(choice.package ? *choice.package : *EmbeddedPackage());
  if (!ReadUnits(line, output, identity, units, limits, refused)) return refused;
  if (!choice.package) {
    output.Result(choice.result, choice.text, choice.exitCode);
    return choice.exitCode;
  }
  // A package that cannot tell a newer unit from an older one is refused before any unit.
  if (const auto refusal = PackageRefusal(*choice.package, policy)) {
    JobResult unsent;
    unsent.outcome = JobOutcome::PackageRefused;
    unsent.reason = *refusal;
    OutcomeReport report = ReportFor(unsent, choice.package->UpdaterTexts());
    report.text += " Use --force to update anyway.";
    output.Result(report.result, report.text, report.exitCode);
    return report.exitCode;
  }
  std::string error;
  if (!ReadCheckOptions(line, settings, error)) {
    output.Error(error);
    return kExitUsage;
  }
  if (!settings.receiptPath.empty()) {
    const InterruptScope interrupts;
    if (const auto why = receipts::CheckReceiptTarget(
            settings.receiptPath, interrupts.Token(),
            std::chrono::steady_clock::now() + receipts::kReceiptLockWait)) {
      output.Error(*why + "; nothing was sent");
      return interrupts.Interrupted() ? kExitInterrupted : kExitReceiptNotWritten;
    }
  }

  if (units.units.size() > 1) {
    const Package& package = *choice.package;
    return ShowChainHead(settings.receiptPath, output, RunRackOf(units.units, limits,
                     [&](const UnitAddress& unit, JobObserver& observer, std::stop_token stop) {
                       UpdateSettings own = settings;
                       // Its own first tick, and its lines begin with the unit.
                       if (own.policy.job.trace) own.policy.job.trace = FrameTrace(unit.Label());
                       return UpdateOneUnit(unit, package, own, observer, stop);
                     },
                     output));
  }
  const UnitAddress* unit = &units.units.front();
  OutputProgress shown(output);
  InterruptScope interrupts;
  StageNoting progress(interrupts.Stages(), unit->Label(), shown);
  const UnitUpdateReport report =
      UpdateOneUnit(*unit, *choice.package, settings, progress, interrupts.Token());
  if (output.Mode() == OutputMode::Json) {
    output.Event(ResultEvent(report));
  } else {
    output.Result(report.outcome.result, report.outcome.text, report.outcome.exitCode);
  }
  return ShowChainHead(settings.receiptPath, output,
                       AfterHangUp(interrupts, report.outcome.exitCode));
}

int RunExitBootloadCommand(const CommandLine& line, Output& output) {
  const std::shared_ptr<const Package> package = EmbeddedPackage();
  UnitList units;
  RackLimits limits;
  int refused = 0;
  if (!ReadUnits(line, output, DiscoveryIdentity(*package), units, limits, refused)) return refused;
  JobOptions options;
  if (line.Has("trace")) options.trace = FrameTrace();
  if (units.units.size() > 1) {
    return RunRackOf(units.units, limits,
                     [&](const UnitAddress& unit, JobObserver& observer, std::stop_token stop) {
                       JobOptions own = options;
                       own.stop = stop;
                       if (own.trace) own.trace = FrameTrace(unit.Label());
                       UnitUpdateReport report;
                       report.job = RunExitBootloadJob(unit, own, observer);
                       report.outcome = ExitBootloadReport(report.job, package->UpdaterTexts());
                       return report;
                     },
                     output);
  }
  const UnitAddress* unit = &units.units.front();
  OutputProgress shown(output);
  InterruptScope interrupts;
  StageNoting progress(interrupts.Stages(), unit->Label(), shown);
  options.stop = interrupts.Token();
  const OutcomeReport report =
      ExitBootloadReport(RunExitBootloadJob(*unit, options, progress), package->UpdaterTexts());
  output.Result(report.result, report.text, report.exitCode);
  return AfterHangUp(interrupts, report.exitCode);
}

}  // namespace tessaline::cli
