// The receipts file: appending under a lock with the hash chain, and checking the chain.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "receipts/receipt.h"

namespace tessaline::receipts {

// How long an append or a check waits for another writer's lock; an append holds it for
// milliseconds.
inline constexpr std::chrono::seconds kReceiptLockWait{10};
// No receipts file is read past this size: a device that never ends is refused, not exhausted.
inline constexpr std::size_t kLongestReceiptsFileBytes = std::size_t{64} << 20;

// Appends the receipt as one line, its `prev` set to the SHA-256 of the file's last line.
// Creates the file when missing. Holds an exclusive lock from reading the last line to the
// flush, so threads and processes that append at once keep one chain; the lock is waited for
// at most `lockWait`, and a stop that arrives meanwhile ends the wait. Refuses (false, reason in
// `error`, the file named) when the file's last line is incomplete, so a damaged file is never
// built upon.
bool AppendReceipt(const std::string& path, Receipt receipt, std::string& error,
                   std::stop_token stop = {},
                   std::chrono::steady_clock::duration lockWait = kReceiptLockWait);

// Whether receipts can be appended to `path`, asked before a unit is touched: its folder exists,
// it is a regular file that can be written (created when missing), its chain holds and its lock
// can be had by `deadline` (a stop ends the wait). Why not, naming the file; nothing when it can.
std::optional<std::string> CheckReceiptTarget(const std::filesystem::path& path,
                                              std::stop_token stop,
                                              std::chrono::steady_clock::time_point deadline);

enum class ReceiptLogState {
  Valid,       // every line holds and chains to the one before
  Unreadable,  // the file cannot be opened or read
  Broken,      // `badLine` is the first line that does not hold
};

struct ReceiptLogCheck {
  ReceiptLogState state = ReceiptLogState::Valid;
  std::vector<Receipt> receipts;  // every line when valid; the lines before badLine otherwise
  std::size_t badLine = 0;        // 1-based; 0 unless broken
  std::string problem;            // why, when not valid; an unreadable file is named in it
};

// Reads the file to its end (a pipe or standard input too, at most kLongestReceiptsFileBytes)
// and checks every line.
ReceiptLogCheck VerifyReceipts(const std::string& path);

}  // namespace tessaline::receipts
