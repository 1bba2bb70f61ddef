// One unit's update on the command line: the version guard's policy, the outcome's report, the
// running check and the receipt.
#include "cli/unit_update.h"

#include <chrono>

#include "cli/exit_codes.h"
#include "cli/receipt_builder.h"
#include "cli/version_guard.h"
#include "link/bootloader_commands.h"
#include "receipts/receipt_log.h"

namespace tessaline::cli {

namespace {
constexpr std::string_view kRunAgain = "; run the same command again to finish.";

// What an interrupted job leaves the unit in, by the stage it stopped in.
std::string InterruptedText(const JobResult& result) {
  switch (result.stage) {
    case Stage::Initializing:
      return "Interrupted before anything was erased: the unit is unchanged and stays in "
             "bootload mode.";
    case Stage::Application:
      return "Interrupted while writing the application: the unit stays in bootload mode "
             "without complete firmware" +
             std::string(kRunAgain);
    case Stage::FlashData:
      return "Interrupted while writing the flash data: the unit stays in bootload mode "
             "without complete firmware" +
             std::string(kRunAgain);
    case Stage::FactoryDefaults:
      return "Interrupted while restoring the factory defaults: the unit stays in bootload "
             "mode" +
             std::string(kRunAgain);
    case Stage::Verifying:
    case Stage::Finishing:
      break;
  }
  return "Interrupted before the final command: the firmware is written, but the unit stays in "
         "bootload mode" +
         std::string(kRunAgain);
}

void DescribeOutcome(UnitUpdateReport& report, const UpdateSettings& settings,
                     std::optional<std::uint32_t> packageVersion) {
  const JobResult& job = report.job;
  switch (job.outcome) {
    case JobOutcome::Declined:
      if (job.applicationVersionBefore && packageVersion) {
        report.outcome.text = "The unit already runs application version " +
                              FormatApplicationVersion(*job.applicationVersionBefore) +
                              ", newer than this package's (" + settings.packageBuildVersion +
                              "). Nothing was erased; use --force to update anyway.";
      }
      break;
    case JobOutcome::VerifyFailed: {
      const std::string expected = job.applicationVersionExpected
                                       ? FormatApplicationVersion(*job.applicationVersionExpected)
                                       : settings.packageBuildVersion;
      report.outcome.text =
          (job.applicationVersionAfter
               ? "Written, but the unit reports version " +
                     FormatApplicationVersion(*job.applicationVersionAfter) + " instead of " +
                     expected
               : "Written, but the unit did not report its version (expected " + expected + ")") +
          ". The final command was not sent: the unit stays in bootload mode for another try.";
      break;
    }
    case JobOutcome::Interrupted:
      report.outcome.text = InterruptedText(job);
      break;
    default:
      break;
  }
}

void CheckRunning(UnitUpdateReport& report, const UnitAddress& unit, std::uint32_t parserPort,
                  std::uint32_t seconds, std::stop_token stop) {
  report.running = ConfirmRunning(unit, parserPort, seconds, std::move(stop));
  const RunningCheck& check = *report.running;
  if (check.running) {
    report.outcome.result = "running";
    report.outcome.text +=
        std::string(" The unit runs again (bootload state '") + check.bootloadState + "').";
  } else if (check.interrupted) {
    report.outcome = {kExitInterrupted, "interrupted",
                      "Interrupted while waiting for the unit to run again: the firmware is "
                      "written and the final command was sent."};
  } else if (check.socketFailure) {
    report.outcome = {
        kExitNotConfirmed, "not-confirmed",
        "The firmware was written, but the unit could not be asked whether it runs: " +
            SocketFailureText(*check.socketFailure)};
  } else {
    report.outcome = {kExitNotConfirmed, "not-confirmed",
                      "The firmware was written, but the unit was not seen running within " +
                          std::to_string(seconds) + " s."};
  }
}
}  // namespace

UnitUpdateReport UpdateOneUnit(const UnitAddress& unit, const Package& package,
                               const UpdateSettings& settings, JobObserver& observer,
                               std::stop_token stop) {
  JobOptions options = settings.job;
  options.stop = stop;
  const auto packageVersion = ParseBuildVersion(settings.packageBuildVersion);
  if (options.firmware && !settings.force) {
    options.versionGuard = [&](std::optional<std::uint32_t> version) {
      if (version && packageVersion && *version == *packageVersion) {
        observer.Message(
            "The unit reports this package's version; writing it again completes any "
            "earlier interrupted update.");
      }
      return UpdateWanted(version, packageVersion);
    };
  }
  options.verifyApplicationVersion = settings.verify && options.firmware;
  options.fallbackApplicationVersion = packageVersion;

  UnitUpdateReport report;
  report.job = RunUpdateJob(unit, package, options, observer);
  report.outcome = ReportFor(report.job, package.UpdaterTexts());
  DescribeOutcome(report, settings, packageVersion);
  if (report.job.outcome == JobOutcome::Succeeded && settings.confirmRunningSeconds) {
    CheckRunning(report, unit, settings.parserPort, *settings.confirmRunningSeconds, stop);
  }

  report.receipt = BuildReceipt(unit, report, settings, std::chrono::system_clock::now());
  if (!settings.receiptPath.empty()) {
    report.receiptWritten =
        receipts::AppendReceipt(settings.receiptPath, report.receipt, report.receiptError, stop);
    if (!report.receiptWritten) {
      // A job that failed keeps its own code; an update without its record is not a success.
      if (report.outcome.exitCode == kExitSuccess) report.outcome.exitCode = kExitReceiptNotWritten;
      report.outcome.text += " The receipt could not be written: " + report.receiptError;
    }
  }
  return report;
}

}  // namespace tessaline::cli
