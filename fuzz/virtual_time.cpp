// Virtual time for the text query target: waits cost nothing and every tick reading moves on by
// one millisecond, so the query's deadline is reached after a known number of passes.
#include <cstdint>

#include "platform/clock.h"

namespace tessaline::platform {

namespace {
std::uint32_t virtualNow = 0xFFFFF000u;  // starts near the wrap, which must not matter
}  // namespace

std::uint32_t TickCount() { return virtualNow++; }

void SleepMs(std::uint32_t milliseconds) { virtualNow += milliseconds; }

}  // namespace tessaline::platform
