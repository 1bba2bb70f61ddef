// Hex forms of digests, shared by every platform's SHA-256.
#include "platform/digest.h"

namespace tessaline::platform {

void Sha256::Update(std::string_view text) {
  Update(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string LowerHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
  Sha256 hash;
  hash.Update(bytes);
  const auto digest = hash.Finish();
  return digest ? LowerHex(*digest) : std::string();
}

std::string Sha256Hex(std::string_view text) {
  return Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace tessaline::platform
