// Resource look-up over the package files embedded at build time (the Linux build).
#include "platform/module_resources.h"

#include <algorithm>

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

}  // namespace tessaline::platform
