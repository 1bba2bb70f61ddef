// Resource look-up over the package files embedded at build time (the Linux build).
#include <algorithm>

#include "platform/module_resources.h"

namespace tessaline::platform {

std::optional<std::span<const std::uint8_t>> FindModuleResource(std::string_view type,
                                                                 std::string_view name) {
  const auto resources = EmbeddedResources();
  const auto found = std::find_if(resources.begin(), resources.end(), [&](const auto& r) {
    return r.type == type && r.name == name;
  });
  if (found == resources.end()) return std::nullopt;
  return std::span<const std::uint8_t>(found->begin, found->end);
}

}  // namespace tessaline::platform
