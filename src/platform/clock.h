// Millisecond tick count, wrap-safe differences and sleeps; the clock seam for timing rules.
#pragma once

#include <cstdint>

namespace tessaline::platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the system tick count.
std::uint32_t TickCount();

// Time from `start` to `now` in milliseconds, correct across one wrap of the 32-bit counter.
constexpr std::uint32_t TicksBetween(std::uint32_t start, std::uint32_t now) { return now - start; }

// True when `now` is strictly later than `deadline`, treating the counter as circular.
constexpr bool TickIsAfter(std::uint32_t now, std::uint32_t deadline) {
  return static_cast<std::int32_t>(now - deadline) > 0;
}

void SleepMs(std::uint32_t milliseconds);

// Code with timing rules takes its clock from outside so tests can drive it with a fake one.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint32_t Now() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The real clock: TickCount and SleepMs.
Clock& SystemClock();

}  // namespace tessaline::platform
