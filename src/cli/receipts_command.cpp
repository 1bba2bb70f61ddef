// tessaline-update receipts FILE: checks a receipts file's chain (and with --key its signatures),
// lists its updates, prints the chain's head and writes the hand-over report.
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "receipts/receipt_log.h"
#include "receipts/receipt_report.h"
#include "receipts/signing_key.h"

namespace tessaline::cli {

namespace {

using receipts::Receipt;

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

std::vector<std::string> ReceiptTable(const std::vector<Receipt>& list) {
  std::vector<std::vector<std::string>> rows{
      {"TIME", "UNIT", "BEFORE", "AFTER", "OUTCOME", "SIGNED BY"}};
  for (const Receipt& r : list) {
    rows.push_back({r.time, OrDash(r.unit), OrDash(r.applicationVersionBefore),
                    OrDash(r.applicationVersionAfter),
                    r.outcome.result + " (" + std::to_string(r.outcome.exitCode) + ")",
                    r.key.empty() ? "unsigned" : r.key.substr(0, 16)});
  }
  return AlignedColumns(rows);
}

// The keys named by the lines: what the report's heading shows.
std::string SigningKeys(const std::vector<Receipt>& list) {
  std::set<std::string> keys;
  for (const Receipt& r : list) keys.insert(r.key.empty() ? "unsigned" : r.key);
  std::string text;
  for (const std::string& key : keys) text += (text.empty() ? "" : ", ") + key;
  return text.empty() ? "none" : text;
}

std::string WhatWasChecked(const receipts::ReceiptLogCheck& check, const std::string& keyName) {
  std::string text = check.state == receipts::ReceiptLogState::Valid
                         ? "Verified: the hash chain of all " +
                               std::to_string(check.receipts.size()) + " line(s) holds"
                         : "NOT verified: " + std::to_string(check.bad.size()) +
                               " problem(s), the first " + check.problem;
  if (!check.signaturesChecked) {
    text += "; authorship was not checked (no public key was given)";
  } else if (check.state == receipts::ReceiptLogState::Valid) {
    text += "; every line is signed by the key " + keyName;
  } else {
    text += "; signatures checked with the key " + keyName;
  }
  if (!check.head.empty()) text += ". Chain head: " + check.head;
  return text + ".";
}

bool WriteWhole(const std::string& path, const std::string& text, Output& output) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.flush();
  if (!file) output.Error("receipts: " + path + ": cannot be written");
  return static_cast<bool>(file);
}

}  // namespace

int RunReceiptsCommand(const CommandLine& line, Output& output) {
  const auto path = line.Value("FILE");
  if (!path) {
    std::fputs("receipts: give the receipts file (tessaline-update receipts FILE)\n", stderr);
    return kExitUsage;
  }
  std::optional<platform::EcPublicPoint> key;
  if (const auto keyPath = line.Value("key")) {
    std::string why;
    key = receipts::ReadPublicKeyFile(*keyPath, why);
    if (!key) {
      std::fprintf(stderr, "receipts: --key %s\n", why.c_str());
      return kExitUsage;
    }
  }
  const std::string keyName = key ? receipts::Fingerprint(*key) : std::string();
  const receipts::ReceiptLogCheck check = receipts::VerifyReceipts(*path, key);
  if (check.state == receipts::ReceiptLogState::Unreadable) {
    std::fprintf(stderr, "receipts: %s\n", check.problem.c_str());
    return kExitNotFound;
  }
  // --json keeps stdout one JSON array (the lines that read as receipts); the verdict goes to
  // stderr.
  if (output.Mode() == OutputMode::Json) {
    std::printf("%s\n", receipts::ReceiptsJsonArray(check.receipts).c_str());
    std::fflush(stdout);
  } else {
    for (const std::string& row : ReceiptTable(check.receipts)) output.Line(row);
  }
  const std::string verified = WhatWasChecked(check, keyName);
  bool written = true;
  if (const auto report = line.Value("report")) {
    written =
        WriteWhole(*report,
                   receipts::ReportHtml(check.receipts, {line.Value("site").value_or(""),
                                                         SigningKeys(check.receipts), verified}),
                   output);
  }
  if (const auto csv = line.Value("csv")) {
    written = WriteWhole(*csv, receipts::ReportCsv(check.receipts), output) && written;
  }
  for (const receipts::BadReceiptLine& bad : check.bad) {
    std::fprintf(stderr, "receipts: %s: %s\n", path->c_str(), bad.problem.c_str());
  }
  if (check.state == receipts::ReceiptLogState::Broken) return kExitBadReceipts;
  // An emptied file has nothing left to break: it is refused, not taken as a chain that holds.
  if (check.receipts.empty()) {
    std::fprintf(stderr, "receipts: %s: holds no receipts; nothing is verified\n", path->c_str());
    return kExitBadReceipts;
  }
  if (output.Mode() != OutputMode::Json) {
    std::string summary = std::to_string(check.receipts.size()) + " receipt(s); the chain holds.";
    if (check.unsignedLines > 0) {
      // Appended piece by piece: mingw's -Wrestrict misreads " " + std::string as an overlap.
      summary.append(" ").append(std::to_string(check.unsignedLines));
      summary.append(" line(s) unsigned (written by an earlier version).");
    }
    output.Line(summary);
    output.Line(key ? "Every line is signed by the key " + keyName + "."
                    : "Authorship was not checked: give --key PUBLIC to check the signatures.");
    output.Line("Chain head: " + OrDash(check.head) +
                " (note it elsewhere: lines dropped from "
                "the end show only against it)");
  }
  return written ? kExitSuccess : kExitUsage;
}

}  // namespace tessaline::cli
