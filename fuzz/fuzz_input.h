// Reading a fuzz input as a stream of choices, and the checks that stop a run on a broken rule.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

namespace tessaline::fuzz {

// A broken property must stop the run where the fuzzer (or the replay) can see it.
inline void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", rule);
  std::abort();
}

// Hands out the input front to back; once it is used up every read gives zeros.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

  bool Empty() const { return at_ >= bytes_.size(); }
  std::size_t Left() const { return bytes_.size() - at_; }

  std::uint8_t Byte() { return Empty() ? 0 : bytes_[at_++]; }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
  std::uint32_t U32() {
    return static_cast<std::uint32_t>(U16()) | static_cast<std::uint32_t>(U16()) << 16;
  }
  bool Flag() { return (Byte() & 1) != 0; }
  // A value in [low, high].
  std::size_t InRange(std::size_t low, std::size_t high) { return low + U16() % (high - low + 1); }

  // Up to `count` bytes (fewer at the end of the input).
  std::span<const std::uint8_t> Take(std::size_t count) {
    const std::size_t n = std::min(count, Left());
    const auto part = bytes_.subspan(at_, n);
    at_ += n;
    return part;
  }
  std::span<const std::uint8_t> Rest() { return Take(Left()); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

inline std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace tessaline::fuzz
