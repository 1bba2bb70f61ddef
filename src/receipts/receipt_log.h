// The receipts file: signed appends under a lock with the hash chain, and checking it.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/signing.h"
#include "receipts/receipt.h"

namespace tessaline::receipts {

// How long an append or a check waits for another writer's lock; an append holds it for
// milliseconds.
inline constexpr std::chrono::seconds kReceiptLockWait{10};
// No receipts file is read past this size: a device that never ends is refused, not exhausted.
inline constexpr std::size_t kLongestReceiptsFileBytes = std::size_t{64} << 20;

// Appends the receipt as one line, its `prev` set to the SHA-256 of the file's last line and,
// given a `signer`, signed by it (unsigned lines are for tests of earlier files only).
// Creates the file when missing. Holds an exclusive lock from reading the last line to the
// flush, so threads and processes that append at once keep one chain; the lock is waited for
// at most `lockWait`, and a stop that arrives meanwhile ends the wait. Refuses (false, reason in
// `error`, the file named) when the file's last line is incomplete, so a damaged file is never
// built upon.
bool AppendReceipt(const std::string& path, Receipt receipt, std::string& error,
                   std::stop_token stop = {},
                   std::chrono::steady_clock::duration lockWait = kReceiptLockWait,
                   const platform::SigningKey* signer = nullptr);

// Whether receipts can be appended to `path`, asked before a unit is touched: its folder exists,
// it is a regular file that can be written (created when missing), its chain holds, its lock
// can be had by `deadline` (a stop ends the wait) and the user's signing key can be read or made. Why not, naming the file; nothing when it can.
std::optional<std::string> CheckReceiptTarget(const std::filesystem::path& path,
                                              std::stop_token stop,
                                              std::chrono::steady_clock::time_point deadline);

// The chain's head: SHA-256 of the file's last line, empty for an empty file. Noted elsewhere
// (a ticket, an e-mail), it shows when lines were later dropped from the end.
std::optional<std::string> ChainHead(const std::string& path, std::string& error);

enum class ReceiptLogState {
  Valid,       // every line holds and chains to the one before
  Unreadable,  // the file cannot be opened or read
  Broken,      // at least one line does not hold; `bad` names each
};

struct BadReceiptLine {
  std::size_t line = 0;  // 1-based
  std::string problem;   // "line 3: ..."
};

struct ReceiptLogCheck {
  ReceiptLogState state = ReceiptLogState::Valid;
  std::vector<Receipt> receipts;  // every line that reads as a receipt, bad or not
  std::vector<BadReceiptLine> bad;
  std::size_t badLine = 0;  // the first bad line; 0 unless broken
  std::string problem;      // the first bad line's problem; an unreadable file is named in it
  std::string head;         // SHA-256 of the last line: what the next line's `prev` will be
  std::size_t unsignedLines = 0;
  bool signaturesChecked = false;  // a public key was given
};

// Reads the file to its end (a pipe or standard input too, at most kLongestReceiptsFileBytes)
// and checks every line: its form, its link to the line before and, given `key`, that the key
// signed it. Checking goes on past a bad line, so every one is named.
ReceiptLogCheck VerifyReceipts(const std::string& path,
                               const std::optional<platform::EcPublicPoint>& key = std::nullopt);

}  // namespace tessaline::receipts
