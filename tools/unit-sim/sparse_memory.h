// A sparse byte store for the unit's flash: written bytes are tracked, unwritten ones read 0xFF.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace tessaline::sim {

inline constexpr std::uint8_t kErasedByte = 0xFF;

class SparseMemory {
 public:
  // Flash takes a byte once per erase: rewriting a written byte is allowed only with its own
  // value, so a repeated write is harmless and a conflicting one is caught.
  bool CanWrite(std::uint64_t address, std::span<const std::uint8_t> bytes) const;
  void Write(std::uint32_t address, std::span<const std::uint8_t> bytes);
  void Clear() { pages_.clear(); }

  bool Empty() const { return pages_.empty(); }
  std::uint32_t Lowest() const;  // lowest written address (0 when empty)
  std::uint64_t End() const;     // one past the highest written address (0 when empty)
  std::optional<std::uint8_t> ByteAt(std::uint32_t address) const;
  std::vector<std::uint8_t> Read(std::uint32_t from, std::uint64_t end) const;  // gaps 0xFF

 private:
  static constexpr std::uint32_t kPageSize = 4096;
  struct Page {
    Page() { bytes.fill(kErasedByte); }
    std::array<std::uint8_t, kPageSize> bytes;
    std::bitset<kPageSize> written;
  };
  std::map<std::uint32_t, Page> pages_;  // keyed by page number
};

}  // namespace tessaline::sim
