// A line's signature covers its bytes with the `sig` text left empty; `sig` is always the last
// field, so the signed bytes are the line with the signature's hex digits taken out.
#include "receipts/line_signature.h"

#include "platform/digest.h"
#include "receipts/signing_key.h"

namespace tessaline::receipts {

namespace {

constexpr std::string_view kSigField = "\"sig\":\"";
constexpr std::string_view kLineEnd = "\"}";
constexpr std::size_t kSignatureHexDigits = 128;

}  // namespace

std::optional<std::string> SignedReceiptLine(Receipt receipt, const platform::SigningKey& key) {
  receipt.key = Fingerprint(key.PublicPoint());
  receipt.sig.clear();
  std::string line = ReceiptJsonLine(receipt);
  if (receipt.key.empty() || !line.ends_with(std::string(kSigField) + std::string(kLineEnd))) {
    return std::nullopt;
  }
  const auto signature = key.Sign(line);
  if (!signature) return std::nullopt;
  line.insert(line.size() - kLineEnd.size(), platform::LowerHex(*signature));
  return line;
}

bool LineSignedBy(std::string_view line, const Receipt& receipt, const platform::EcPublicPoint& key,
                  std::string& why) {
  if (receipt.key.empty()) {
    why = "not signed (a receipt of an earlier version, or its signature was removed)";
    return false;
  }
  if (receipt.key != Fingerprint(key)) {
    why = "signed by another key (" + receipt.key.substr(0, 16) + "...)";
    return false;
  }
  const std::size_t tail = kSignatureHexDigits + kLineEnd.size();
  platform::EcSignature signature{};
  bool wellFormed =
      receipt.sig.size() == kSignatureHexDigits && line.ends_with(kLineEnd) &&
      line.size() > tail + kSigField.size() &&
      line.substr(line.size() - tail - kSigField.size(), kSigField.size()) == kSigField &&
      line.substr(line.size() - tail, kSignatureHexDigits) == receipt.sig;
  for (std::size_t i = 0; wellFormed && i < signature.size(); ++i) {
    const auto high = std::string_view("0123456789abcdef").find(receipt.sig[2 * i]);
    const auto low = std::string_view("0123456789abcdef").find(receipt.sig[2 * i + 1]);
    wellFormed = high != std::string_view::npos && low != std::string_view::npos;
    if (wellFormed) signature[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  if (!wellFormed) {
    why = "\"sig\" is not the line's last field with 128 lower-case hex digits";
    return false;
  }
  std::string signedBytes(line);
  signedBytes.erase(signedBytes.size() - tail, kSignatureHexDigits);
  if (!platform::VerifySignature(key, signedBytes, signature)) {
    why = "the signature does not match the line (it was changed after signing)";
    return false;
  }
  return true;
}

}  // namespace tessaline::receipts
