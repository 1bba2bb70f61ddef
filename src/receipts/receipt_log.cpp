// The receipts file: locked, signed appends that extend the hash chain, and the check of both.
#include "receipts/receipt_log.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/digest.h"
#include "platform/locked_file.h"
#include "receipts/line_signature.h"
#include "receipts/signing_key.h"

namespace tessaline::receipts {

namespace {

constexpr std::size_t kTailBlockBytes = 4096;
// A receipt is a few kilobytes; a last line far beyond that is not one of ours.
constexpr std::uint64_t kLongestLineBytes = 16u << 20;

// The file's last line without its newline ("" for an empty file); nothing, with the reason,
// when it cannot be read or does not end with a newline.
std::optional<std::string> LastLine(const platform::LockedFile& file, std::string& error) {
  const auto size = file.Size(error);
  if (!size) return std::nullopt;
  if (*size == 0) return std::string();
  char last = 0;
  if (!file.ReadAt(*size - 1, std::span(&last, 1), error)) return std::nullopt;
  if (last != '\n') {
    error = "the file's last line is incomplete (no newline at its end)";
    return std::nullopt;
  }
  const std::uint64_t lineEnd = *size - 1;
  std::uint64_t lineStart = lineEnd;
  std::string block;
  while (lineStart > 0) {
    const std::uint64_t from = lineStart > kTailBlockBytes ? lineStart - kTailBlockBytes : 0;
    block.resize(static_cast<std::size_t>(lineStart - from));
    if (!file.ReadAt(from, block, error)) return std::nullopt;
    const auto newline = block.rfind('\n');
    if (newline != std::string::npos) {
      lineStart = from + newline + 1;
      break;
    }
    lineStart = from;
    if (lineEnd - lineStart > kLongestLineBytes) {
      error = "the file's last line is longer than any receipt";
      return std::nullopt;
    }
  }
  std::string line(static_cast<std::size_t>(lineEnd - lineStart), '\0');
  if (!file.ReadAt(lineStart, line, error)) return std::nullopt;
  return line;
}

void MarkBad(ReceiptLogCheck& check, std::size_t line, std::string problem) {
  if (check.bad.empty()) {
    check.state = ReceiptLogState::Broken;
    check.badLine = line;
    check.problem = "line " + std::to_string(line) + ": " + problem;
  }
  check.bad.push_back({line, "line " + std::to_string(line) + ": " + std::move(problem)});
}

// Every line of a whole receipts file checked in order; each link is checked against the bytes
// of the line before, good or bad, so one changed line names itself and the next only.
ReceiptLogCheck VerifyReceiptsText(std::string_view text,
                                   const std::optional<platform::EcPublicPoint>& key) {
  ReceiptLogCheck check;
  check.signaturesChecked = key.has_value();
  std::string_view rest = text;
  std::string_view previous;
  for (std::size_t number = 1; !rest.empty(); ++number) {
    const auto newline = rest.find('\n');
    if (newline == std::string_view::npos) {
      MarkBad(check, number, "incomplete (the file does not end with a newline)");
      break;
    }
    const std::string_view line = rest.substr(0, newline);
    rest.remove_prefix(newline + 1);
    const std::string expected = number == 1 ? std::string() : platform::Sha256Hex(previous);
    previous = line;
    if (line.empty()) {
      MarkBad(check, number, "empty line");
      continue;
    }
    std::string why;
    auto receipt = ParseReceiptLine(line, why);
    if (!receipt) {
      MarkBad(check, number, why);
      continue;
    }
    if (receipt->prev != expected) {
      MarkBad(check, number,
              number == 1 ? "the first line has a \"prev\" (lines before it were removed)"
                          : "\"prev\" does not match line " + std::to_string(number - 1) +
                                " (a line was changed, removed, added or moved)");
    }
    if (receipt->key.empty()) ++check.unsignedLines;
    if (key && !LineSignedBy(line, *receipt, *key, why)) MarkBad(check, number, why);
    check.receipts.push_back(std::move(*receipt));
  }
  check.head = previous.empty() ? std::string() : platform::Sha256Hex(previous);
  return check;
}

}  // namespace

bool AppendReceipt(const std::string& path, Receipt receipt, std::string& error,
                   std::stop_token stop, std::chrono::steady_clock::duration lockWait,
                   const platform::SigningKey* signer) {
  // A stop already requested is the interrupt that ended this job: its receipt is still written.
  if (stop.stop_requested()) stop = {};
  auto file = platform::LockedFile::Open(path, platform::FileLockMode::ExclusiveAppend,
                                         {stop, std::chrono::steady_clock::now() + lockWait},
                                         error);
  std::optional<std::string> previous;
  if (file) previous = LastLine(*file, error);
  if (!previous) {
    error = path + ": " + error;
    return false;
  }
  receipt.prev = previous->empty() ? std::string() : platform::Sha256Hex(*previous);
  if (!previous->empty() && receipt.prev.empty()) {
    error = "the system's SHA-256 failed";
    return false;
  }
  const auto line = signer != nullptr ? SignedReceiptLine(receipt, *signer)
                                       : std::optional(ReceiptJsonLine(receipt));
  if (!line) {
    error = "the system's crypto library could not sign the receipt";
    return false;
  }
  if (!file->AppendDurably(*line + "\n", error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

std::optional<std::string> CheckReceiptTarget(const std::filesystem::path& path,
                                              std::stop_token stop,
                                              std::chrono::steady_clock::time_point deadline) {
  const std::string name = path.string();
  std::error_code failed;
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  if (!std::filesystem::is_directory(folder, failed)) {
    return name + ": the folder " + folder.string() + " does not exist";
  }
  const auto status = std::filesystem::status(path, failed);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return name + ": not a regular file; receipts are appended to a file";
  }
  std::string error;
  if (!LoadOrMakeUserKey(error)) return "the receipt signing key: " + error;
  auto file = platform::LockedFile::Open(name, platform::FileLockMode::ExclusiveAppend,
                                         {std::move(stop), deadline}, error);
  std::optional<std::string> text;
  if (file) text = file->ReadToEnd(kLongestReceiptsFileBytes, error);
  if (!text) return name + ": " + error;
  const ReceiptLogCheck check = VerifyReceiptsText(*text, std::nullopt);
  if (check.state != ReceiptLogState::Valid) {
    return name + ": " + check.problem + "; no receipt is added to a damaged file";
  }
  return std::nullopt;
}

std::optional<std::string> ChainHead(const std::string& path, std::string& error) {
  auto file = platform::LockedFile::Open(
      path, platform::FileLockMode::SharedRead,
      {std::stop_token{}, std::chrono::steady_clock::now() + kReceiptLockWait}, error);
  std::optional<std::string> last;
  if (file) last = LastLine(*file, error);
  if (!last) {
    error = path + ": " + error;
    return std::nullopt;
  }
  return last->empty() ? std::string() : platform::Sha256Hex(*last);
}

ReceiptLogCheck VerifyReceipts(const std::string& path,
                               const std::optional<platform::EcPublicPoint>& key) {
  std::string error;
  auto file = platform::LockedFile::Open(
      path, platform::FileLockMode::SharedRead,
      {std::stop_token{}, std::chrono::steady_clock::now() + kReceiptLockWait}, error);
  std::optional<std::string> text;
  if (file) text = file->ReadToEnd(kLongestReceiptsFileBytes, error);
  if (!text) {
    ReceiptLogCheck check;
    check.state = ReceiptLogState::Unreadable;
    check.problem = path + ": " + error;
    return check;
  }
  file.reset();  // the lock is not needed while checking
  return VerifyReceiptsText(*text, key);
}

}  // namespace tessaline::receipts
