// The application version an application image carries: the 32-bit word the application keeps at
// the top of its flash area, which the bootloader reports when asked for the version.
#pragma once

#include <cstdint>
#include <optional>

#include "package/hex_manager.h"

namespace tessaline {

// Where the application keeps its version word (little-endian, major << 16 | minor).
inline constexpr std::uint32_t kApplicationVersionWordAddress = 0x0807FFFC;

// The version word as the image's records place it; none when the image does not fill all four
// bytes. Reads the records from the start and leaves the image rewound.
std::optional<std::uint32_t> ApplicationVersionInImage(CHexManager& image);

}  // namespace tessaline
