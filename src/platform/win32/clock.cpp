// Tick count and sleeps on Windows: GetTickCount and Sleep.
#include "platform/clock.h"

#include <windows.h>

namespace tessaline::platform {

std::uint32_t TickCount() { return GetTickCount(); }

void SleepMs(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace tessaline::platform
