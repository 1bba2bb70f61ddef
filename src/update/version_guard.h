// Build versions and the version guard: what a unit must report before its firmware is erased.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "update/jobs.h"

namespace tessaline {

// "V1.2" (or "1.2") -> 0x00010002: major in the high 16 bits, minor in the low 16 bits, the
// form the unit reports its application version in. None for anything else.
std::optional<std::uint32_t> ParseBuildVersion(std::string_view text);

// Asked, on the job's thread, whether a unit running `unitVersion` may be given the older
// `packageVersion`; true to write it. Without one, such a unit is declined.
using DowngradeQuestion =
    std::function<bool(std::uint32_t unitVersion, std::uint32_t packageVersion)>;

// The guard's rule. The unit may be written when it has no application, or reports a version
// not newer than the package's (the package's own version is written again: an update
// interrupted after the application was written leaves the unit reporting it, and only writing
// it again completes the flash data), or the question allows the downgrade. Silence is never
// taken for "no application": a unit that did not answer is declined.
GuardRefusal GuardVersion(const ApplicationReading& unit, std::uint32_t packageVersion,
                          const DowngradeQuestion& askBeforeDowngrade);

}  // namespace tessaline
