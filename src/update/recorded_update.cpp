// One unit's update with its receipt appended.
#include "update/recorded_update.h"

#include <chrono>

#include "receipts/receipt_log.h"
#include "receipts/signing_key.h"
#include "update/exit_codes.h"
#include "update/running_to_running.h"
#include "update/unit_receipt.h"

namespace tessaline {

UnitUpdateReport UpdateOneUnit(const UnitAddress& unit, const Package& package,
                               const UpdateSettings& settings, JobObserver& observer,
                               std::stop_token stop) {
  UnitUpdateReport report;
  report.job = settings.pin.empty() ? UpdateUnit(unit, package, settings.policy, observer, stop)
                                    : UpdateFromAnyMode(unit, package, settings.policy,
                                                        settings.pin, observer, stop);
  report.outcome = VerdictOf(report.job, package.UpdaterTexts(), settings.again);
  if (report.job.outcome == JobOutcome::Declined) report.outcome.text += settings.declinedHint;
  report.receipt = BuildReceipt(unit, report.job, settings.policy, package, report.outcome,
                                std::chrono::system_clock::now());
  if (!settings.receiptPath.empty()) {
    const auto signer = receipts::LoadOrMakeUserKey(report.receiptError);
    report.receiptWritten =
        signer && receipts::AppendReceipt(settings.receiptPath, report.receipt, report.receiptError,
                                          stop, receipts::kReceiptLockWait, signer->key.get());
    if (!report.receiptWritten) {
      // A job that failed keeps its own code; an update without its record is not a success.
      if (report.outcome.exitCode == kExitSuccess) report.outcome.exitCode = kExitReceiptNotWritten;
      report.outcome.text += " The receipt could not be written: " + report.receiptError;
    }
  }
  return report;
}

}  // namespace tessaline
