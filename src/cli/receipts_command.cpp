// tessaline-update receipts FILE: checks a receipts file's chain and lists its updates.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "receipts/receipt_log.h"

namespace tessaline::cli {

namespace {

using receipts::Receipt;

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

std::vector<std::string> ReceiptTable(const std::vector<Receipt>& list) {
  std::vector<std::vector<std::string>> rows{{"TIME", "UNIT", "BEFORE", "AFTER", "OUTCOME"}};
  for (const Receipt& r : list) {
    rows.push_back({r.time, OrDash(r.unit), OrDash(r.applicationVersionBefore),
                    OrDash(r.applicationVersionAfter),
                    r.outcome.result + " (" + std::to_string(r.outcome.exitCode) + ")"});
  }
  return AlignedColumns(rows);
}

}  // namespace

int RunReceiptsCommand(const CommandLine& line, Output& output) {
  const auto path = line.Value("FILE");
  if (!path) {
    std::fputs("receipts: give the receipts file (tessaline-update receipts FILE)\n", stderr);
    return kExitUsage;
  }
  const receipts::ReceiptLogCheck check = receipts::VerifyReceipts(*path);
  if (check.state == receipts::ReceiptLogState::Unreadable) {
    std::fprintf(stderr, "receipts: %s\n", check.problem.c_str());
    return kExitNotFound;
  }
  // --json keeps stdout one JSON array (the lines that hold); the verdict goes to stderr.
  if (output.Mode() == OutputMode::Json) {
    std::printf("%s\n", receipts::ReceiptsJsonArray(check.receipts).c_str());
    std::fflush(stdout);
  } else {
    for (const std::string& row : ReceiptTable(check.receipts)) output.Line(row);
  }
  if (check.state == receipts::ReceiptLogState::Broken) {
    std::fprintf(stderr, "receipts: %s: %s\n", path->c_str(), check.problem.c_str());
    return kExitBadReceipts;
  }
  if (output.Mode() != OutputMode::Json) {
    output.Line(std::to_string(check.receipts.size()) + " receipt(s); the chain holds.");
  }
  return kExitSuccess;
}

}  // namespace tessaline::cli
