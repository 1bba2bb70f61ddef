// The command line's guard against a downgrade: writing firmware older than the unit's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaline::cli {

// "V1.2" (or "1.2") -> 0x00010002: major in the high 16 bits, minor in the low 16 bits, the
// form the unit reports its application version in. None for anything else.
std::optional<std::uint32_t> ParseBuildVersion(std::string_view text);

// True when the update may go on: the unit reports no version, the package's version is
// unknown, or the unit's is not newer. The package's own version is written again: an update
// interrupted after the application was written leaves the unit reporting it, and only writing
// it again completes the flash data.
bool UpdateWanted(std::optional<std::uint32_t> unitVersion,
                  std::optional<std::uint32_t> packageVersion);

}  // namespace tessaline::cli
