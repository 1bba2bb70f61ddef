// One unit's --json result event.
#include "cli/unit_update.h"

#include <nlohmann/json.hpp>

#include "receipts/receipt.h"

namespace tessaline::cli {

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
