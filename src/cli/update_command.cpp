// The "update" and "exit-bootload" commands: the desktop program's two jobs on the command line.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
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
#include "cli/update_plan.h"
#include "discovery/text_protocol.h"
#include "link/bootloader_commands.h"
#include "platform/threading.h"
#include "receipts/receipt_log.h"
#include "update/jobs.h"
#include "update/running_confirmation.h"
#include "update/running_to_running.h"
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

// The installer PIN from --pin, --pin-file FILE (its first line) or TESSALINE_PIN, in that
// order; "" when none is given. False with `error` for a malformed one.
bool ReadPin(const CommandLine& line, std::string& pin, std::string& error) {
  if (line.Has("pin") && line.Has("pin-file")) {
    error = "give the PIN once: --pin or --pin-file";
    return false;
  }
  if (const auto given = line.Value("pin")) {
    pin = *given;
  } else if (const auto path = line.Value("pin-file")) {
    std::ifstream file(*path);
    if (!file || !std::getline(file, pin)) {
      error = "cannot read the PIN file " + *path;
      return false;
    }
    if (!pin.empty() && pin.back() == '\r') pin.pop_back();
  } else if (const char* fromEnvironment = std::getenv("TESSALINE_PIN")) {
    pin = fromEnvironment;
  }
  if (!pin.empty() && !IsWellFormedPin(pin)) {
    error = "the PIN must be the unit's four-digit installer PIN";
    pin.clear();
    return false;
  }
  return true;
}

// --retry-failed RECEIPTS: the units whose last receipt there is not a success, in the order
// they first appear; a refusal (with its code) when the file cannot be read.
UnitList UnitsToRetry(const std::string& path) {
  UnitList list;
  const receipts::ReceiptLogCheck check = receipts::VerifyReceipts(path);
  if (check.state != receipts::ReceiptLogState::Valid) {
    list.exitCode =
        check.state == receipts::ReceiptLogState::Unreadable ? kExitNotFound : kExitBadReceipts;
    list.error = "--retry-failed: " + check.problem;
    return list;
  }
  std::vector<std::string> order;
  std::map<std::string, int> lastCode;
  for (const auto& receipt : check.receipts) {
    if (!lastCode.contains(receipt.unit)) order.push_back(receipt.unit);
    lastCode[receipt.unit] = receipt.outcome.exitCode;
  }
  std::string text;
  for (const auto& unit : order) {
    if (lastCode[unit] != kExitSuccess) text += unit + "\n";
  }
  list = RefuseDuplicates(ParseUnitsText(text, path));
  if (list.exitCode == 0 && list.units.empty()) {
    list.exitCode = kExitNotFound;
    list.error = "--retry-failed: every unit's last receipt in " + path + " is a success";
  }
  return list;
}

// The units named (--all: those announcing `identity`, in either mode with `eitherMode`) and the
// rack's limits; false (after saying why) when the run cannot start.
bool ReadUnits(const CommandLine& line, Output& output, std::string_view identity, UnitList& units,
               RackLimits& limits, int& exitCode, bool eitherMode = false) {
  const auto retry = line.Value("retry-failed");
  if (retry && (line.Has("ip") || line.Has("port") || line.Has("units") || line.Has("all"))) {
    output.Error(
        "--retry-failed takes its units from the receipts file: leave out --ip, --port, "
        "--units and --all");
    exitCode = kExitUsage;
    return false;
  }
  // A plan shows a unit named twice as a row of its own instead of refusing the run.
  units = retry ? UnitsToRetry(*retry)
                : UnitListFrom(line, output, identity, eitherMode,
                               line.Has("plan") ? UnitsNamedTwice::Keep : UnitsNamedTwice::Refuse);
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

// The first `count` units run first and must each end running the package; only then the others.
int RunWithCanaries(const std::vector<UnitAddress>& units, std::size_t count,
                    const RackLimits& limits, const UnitJob& job, Output& output) {
  const std::vector<UnitAddress> canaries(units.begin(), units.begin() + count);
  const std::vector<UnitAddress> rest(units.begin() + count, units.end());
  output.Line("canary: " + std::to_string(count) + " unit(s) first, then " +
              std::to_string(rest.size()) + " more once they run the new firmware");
  InterruptScope interrupt;
  RackOutput canaryRows(output, canaries);
  const auto first = RunRack(canaries, job, limits, canaryRows,
                             {interrupt.Token(), interrupt.NoNewUnits(), &interrupt.Stages()});
  const int canaryCode = canaryRows.Summary(first, interrupt.Interrupted());
  const bool allRunning = std::ranges::all_of(first, [](const RackUnitResult& result) {
    return result.report && result.report->outcome.exitCode == kExitSuccess &&
           result.report->job.running && result.report->job.running->running;
  });
  if (!allRunning || interrupt.Interrupted() || interrupt.HungUp()) {
    output.Error("the canary did not end running the new firmware: the run stops here; the " +
                 std::to_string(rest.size()) + " other unit(s) were not touched");
    return AfterHangUp(interrupt, canaryCode == kExitSuccess ? kExitSomeUnitsFailed : canaryCode);
  }
  RackOutput restRows(output, rest);
  const auto second = RunRack(rest, job, limits, restRows,
                              {interrupt.Token(), interrupt.NoNewUnits(), &interrupt.Stages()});
  int code = restRows.Summary(second, interrupt.Interrupted());
  return AfterHangUp(interrupt, code);
}
}  // namespace

int RunUpdateCommand(const CommandLine& line, Output& output) {
  // The user's choices, as the desktop program's check boxes would set them.
  UpdateSettings settings;
  settings.declinedHint = kDeclinedHint;
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
  std::string error;
  if (!ReadPin(line, settings.pin, error)) {
    output.Error(error);
    return kExitUsage;
  }
  if (!ReadUnits(line, output, identity, units, limits, refused, !settings.pin.empty())) {
    return refused;
  }
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
    report.text += kDeclinedHint;
    output.Result(report.result, report.text, report.exitCode);
    return report.exitCode;
  }
  if (!ReadCheckOptions(line, settings, error)) {
    output.Error(error);
    return kExitUsage;
  }
  std::size_t canaries = 0;
  if (line.Has("canary")) {
    const auto count =
        line.Number("canary", 1, static_cast<std::uint32_t>(units.units.size()), error);
    if (!count) {
      output.Error(error);
      return kExitUsage;
    }
    canaries = *count;
    // A canary proves itself only by running the new firmware.
    if (!policy.confirmRunningSeconds) policy.confirmRunningSeconds = kDefaultConfirmSeconds;
  }
  if (line.Has("plan")) {
    return ShowUpdatePlan(units.units, *choice.package, policy, !settings.pin.empty(), output);
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
    const UnitJob job = [&](const UnitAddress& unit, JobObserver& observer, std::stop_token stop) {
      UpdateSettings own = settings;
      // Its own first tick, and its lines begin with the unit.
      if (own.policy.job.trace) own.policy.job.trace = FrameTrace(unit.Label());
      return UpdateOneUnit(unit, package, own, observer, stop);
    };
    if (canaries != 0 && canaries < units.units.size()) {
      return ShowChainHead(settings.receiptPath, output,
                           RunWithCanaries(units.units, canaries, limits, job, output));
    }
    return ShowChainHead(settings.receiptPath, output, RunRackOf(units.units, limits, job, output));
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
    return RunRackOf(
        units.units, limits,
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
