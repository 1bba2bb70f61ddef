// Resource look-up over the package files embedded at build time (the Linux build).
#include "platform/module_resources.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace tessaline::platform {
namespace {

// Windows matches resource names and types without regard to ASCII case; so does this look-up,
// so a package behaves the same on both.
bool SameName(std::string_view a, std::string_view b) {
  const auto upper = [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  };
  return std::ranges::equal(a, b, {}, upper, upper);
}

}  // namespace

std::optional<std::span<const std::uint8_t>> FindModuleResource(std::string_view type,
                                                                std::string_view name) {
  const auto resources = EmbeddedResources();
  const auto found = std::find_if(resources.begin(), resources.end(), [&](const auto& r) {
    return SameName(r.type, type) && SameName(r.name, name);
  });
  if (found == resources.end()) return std::nullopt;
  return std::span<const std::uint8_t>(found->begin, found->end);
}

void ReleaseResourcePages(std::span<const std::uint8_t> bytes) {
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pageSize <= 0 || bytes.empty()) return;
  const auto page = static_cast<std::uintptr_t>(pageSize);
  const auto start = reinterpret_cast<std::uintptr_t>(bytes.data());
  // Only pages wholly inside the resource: a page it shares may hold relocated data, which the
  // program file does not have.
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t last = (start + bytes.size()) / page * page;
  if (last <= first) return;
  // A refusal only leaves the pages resident.
  madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

}  // namespace tessaline::platform
