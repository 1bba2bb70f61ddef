// SHA-256 from the operating system's crypto library (OpenSSL libcrypto, Windows BCrypt).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessaline::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Incremental: Update any number of times, then Finish once. A failure of the crypto library
// (it cannot start, or rejects data) is remembered and reported by Finish.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(Sha256&& other) noexcept;
  Sha256& operator=(Sha256&& other) noexcept;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::span<const std::uint8_t> bytes);
  void Update(std::string_view text);
  // The digest, or nothing when the crypto library failed; the object is spent afterwards.
  std::optional<Sha256Digest> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

std::string LowerHex(std::span<const std::uint8_t> bytes);
// Lower-case hex SHA-256 of the bytes in one call; empty when the crypto library failed.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);
std::string Sha256Hex(std::string_view text);

}  // namespace tessaline::platform
