// Tick count and sleeps on POSIX: CLOCK_MONOTONIC in milliseconds, truncated to 32 bits.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace tessaline::platform {

std::uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(milliseconds);
}

void SleepMs(std::uint32_t milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000u),
                     static_cast<long>(milliseconds % 1000u) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace tessaline::platform
