// Look-up of the program's own resources by type and name (the firmware package and its texts).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tessaline::platform {

// The bytes of the resource of that type ("HEX", "BIN", "PROPERTIES", "NOTES") and name in the
// program's own module: the resource section on Windows, the files embedded at build time on Linux.
// The bytes live as long as the process. Empty optional when there is no such resource.
std::optional<std::span<const std::uint8_t>> FindModuleResource(std::string_view type,
                                                                 std::string_view name);

// Lets the system take back the memory that holds these resource bytes until they are read again:
// the whole pages inside them leave the process's working set and are read from the program file
// if touched later. Only for bytes FindModuleResource returned.
void ReleaseResourcePages(std::span<const std::uint8_t> bytes);

// One embedded resource, for the Linux embedding (a generated table registers them).
struct EmbeddedResource {
  std::string_view type;
  std::string_view name;
  const std::uint8_t* begin;
  const std::uint8_t* end;
};

// Implemented by the embedded package library on Linux; not used on Windows.
std::span<const EmbeddedResource> EmbeddedResources();

}  // namespace tessaline::platform
