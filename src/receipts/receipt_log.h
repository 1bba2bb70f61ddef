// The receipts file: appending under a lock with the hash chain, and checking the chain.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "receipts/receipt.h"

namespace tessaline::receipts {

// Appends the receipt as one line, its `prev` set to the SHA-256 of the file's last line.
// Creates the file when missing. Holds an exclusive lock from reading the last line to the
// flush, so threads and processes that append at once keep one chain. Refuses (false, reason in
// `error`) when the file's last line is incomplete, so a damaged file is never built upon.
bool AppendReceipt(const std::string& path, Receipt receipt, std::string& error);

enum class ReceiptLogState {
  Valid,       // every line holds and chains to the one before
  Unreadable,  // the file cannot be opened or read
  Broken,      // `badLine` is the first line that does not hold
};

struct ReceiptLogCheck {
  ReceiptLogState state = ReceiptLogState::Valid;
  std::vector<Receipt> receipts;  // every line when valid; the lines before badLine otherwise
  std::size_t badLine = 0;        // 1-based; 0 unless broken
  std::string problem;            // why, when not valid
};

ReceiptLogCheck VerifyReceipts(const std::string& path);

}  // namespace tessaline::receipts
