// One unit's update on the command line.
#include "cli/unit_update.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "receipts/receipt_log.h"
#include "receipts/signing_key.h"
#include "update/running_to_running.h"
#include "update/unit_receipt.h"

namespace tessaline::cli {

UnitUpdateReport UpdateOneUnit(const UnitAddress& unit, const Package& package,
                               const UpdateSettings& settings, JobObserver& observer,
                               std::stop_token stop) {
  UnitUpdateReport report;
  report.job = settings.pin.empty()
                   ? UpdateUnit(unit, package, settings.policy, observer, stop)
                   : UpdateFromAnyMode(unit, package, settings.policy, settings.pin, observer, stop);
  report.outcome = ReportFor(report.job, package.UpdaterTexts());
  // Only the command line has the option that overrides the guard.
  if (report.job.outcome == JobOutcome::Declined) {
    report.outcome.text += " Use --force to update anyway.";
  }
  report.receipt = BuildReceipt(unit, report.job, settings.policy, package, report.outcome,
                                std::chrono::system_clock::now());
  if (!settings.receiptPath.empty()) {
    const auto signer = receipts::LoadOrMakeUserKey(report.receiptError);
    report.receiptWritten =
        signer && receipts::AppendReceipt(settings.receiptPath, report.receipt,
                                          report.receiptError, stop, receipts::kReceiptLockWait,
                                          signer->key.get());
    if (!report.receiptWritten) {
      // A job that failed keeps its own code; an update without its record is not a success.
      if (report.outcome.exitCode == kExitSuccess) report.outcome.exitCode = kExitReceiptNotWritten;
      report.outcome.text += " The receipt could not be written: " + report.receiptError;
    }
  }
  return report;
}

JsonEvent ResultEvent(const UnitUpdateReport& report) {
  JsonEvent event{{"event", "result"},
          {"result", report.outcome.result},
          {"text", report.outcome.text},
          {"exit_code", report.outcome.exitCode},
          {"receipt", receipts::ReceiptJson(report.receipt)}};
  if (!report.receiptError.empty()) event["receipt_error"] = report.receiptError;
  return event;
}

}  // namespace tessaline::cli
