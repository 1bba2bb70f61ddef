// Signing a receipt line, and checking a line's signature against a public key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/signing.h"
#include "receipts/receipt.h"

namespace tessaline::receipts {

// The receipt as one line (without its newline) carrying `key`'s fingerprint and its signature
// over the whole line, `prev` included; nothing when the crypto library failed.
std::optional<std::string> SignedReceiptLine(Receipt receipt, const platform::SigningKey& key);

// Whether `line` (which reads as `receipt`) was signed by `key`, unchanged since. Why not
// otherwise: unsigned, signed by another key, or a signature that does not match.
bool LineSignedBy(std::string_view line, const Receipt& receipt, const platform::EcPublicPoint& key,
                  std::string& why);

}  // namespace tessaline::receipts
