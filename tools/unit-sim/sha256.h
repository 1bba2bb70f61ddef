// SHA-256, so a test or the log can prove byte for byte what a simulated unit holds.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tessaline::sim {

class Sha256 {
 public:
  Sha256();
  void Update(std::span<const std::uint8_t> bytes);
  // Pads and returns the digest; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> block_{};
  std::size_t blockUsed_ = 0;
  std::uint64_t totalBytes_ = 0;
};

std::string LowerHex(std::span<const std::uint8_t> bytes);

}  // namespace tessaline::sim
