// A sparse byte store for the unit's flash.
#include "sparse_memory.h"

#include <algorithm>

namespace tessaline::sim {

bool SparseMemory::CanWrite(std::uint64_t address, std::span<const std::uint8_t> bytes) const {
  if (address + bytes.size() > (std::uint64_t{1} << 32)) return false;
  // Page by page: one look-up per page touched, not one per byte.
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto at = static_cast<std::uint32_t>(address + done);
    const std::uint32_t inPage = at % kPageSize;
    const std::size_t span = std::min<std::size_t>(bytes.size() - done, kPageSize - inPage);
    const auto found = pages_.find(at / kPageSize);
    if (found != pages_.end()) {
      const Page& page = found->second;
      for (std::size_t i = 0; i < span; ++i) {
        if (page.written.test(inPage + i) && page.bytes[inPage + i] != bytes[done + i]) {
          return false;
        }
      }
    }
    done += span;
  }
  return true;
}

void SparseMemory::Write(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::uint32_t at = address + static_cast<std::uint32_t>(done);
    const std::uint32_t inPage = at % kPageSize;
    const std::size_t span = std::min<std::size_t>(bytes.size() - done, kPageSize - inPage);
    Page& page = pages_[at / kPageSize];
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(done), span,
                page.bytes.begin() + inPage);
    for (std::size_t i = 0; i < span; ++i) page.written.set(inPage + i);
    done += span;
  }
}

std::uint32_t SparseMemory::Lowest() const {
  if (pages_.empty()) return 0;
  const auto& [number, page] = *pages_.begin();
  for (std::uint32_t i = 0; i < kPageSize; ++i) {
    if (page.written.test(i)) return number * kPageSize + i;
  }
  return number * kPageSize;
}

std::uint64_t SparseMemory::End() const {
  if (pages_.empty()) return 0;
  const auto& [number, page] = *pages_.rbegin();
  for (std::uint32_t i = kPageSize; i > 0; --i) {
    if (page.written.test(i - 1)) return std::uint64_t{number} * kPageSize + i;
  }
  return std::uint64_t{number} * kPageSize;
}

std::optional<std::uint8_t> SparseMemory::ByteAt(std::uint32_t address) const {
  const auto found = pages_.find(address / kPageSize);
  if (found == pages_.end() || !found->second.written.test(address % kPageSize)) return {};
  return found->second.bytes[address % kPageSize];
}

std::vector<std::uint8_t> SparseMemory::Read(std::uint32_t from, std::uint64_t end) const {
  std::vector<std::uint8_t> bytes;
  if (end <= from) return bytes;
  bytes.assign(static_cast<std::size_t>(end - from), kErasedByte);
  for (auto it = pages_.lower_bound(from / kPageSize); it != pages_.end(); ++it) {
    const std::uint64_t pageStart = std::uint64_t{it->first} * kPageSize;
    if (pageStart >= end) break;
    for (std::uint32_t i = 0; i < kPageSize; ++i) {
      const std::uint64_t at = pageStart + i;
      if (at >= from && at < end) bytes[static_cast<std::size_t>(at - from)] = it->second.bytes[i];
    }
  }
  return bytes;
}

}  // namespace tessaline::sim
