// Tick count: wrap-safe arithmetic and a counter that follows real sleeps.
#include "platform/clock.h"

#include <gtest/gtest.h>

namespace tessaline::platform {
namespace {

// GetTickCount moves in steps of up to 16 ms, so a measured sleep may read that much short.
constexpr std::uint32_t kTickStepMs = 16;

TEST(TickArithmetic, DifferencesAndOrderSurviveTheWrap) {
  struct Case {
    std::uint32_t start;
    std::uint32_t now;
    std::uint32_t between;
    bool nowIsAfterStart;
  };
  const Case cases[] = {
      {100, 350, 250, true},
      {0xFFFFFF00u, 0x00000010u, 0x110, true},
      {0xFFFFFFFFu, 0, 1, true},
      {500, 500, 0, false},
      {0x00000010u, 0xFFFFFF00u, 0xFFFFFEF0u, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TicksBetween(c.start, c.now), c.between) << c.start << " -> " << c.now;
    EXPECT_EQ(TickIsAfter(c.now, c.start), c.nowIsAfterStart) << c.start << " -> " << c.now;
  }
}

TEST(TickCount, AdvancesWithSleeps) {
  const std::uint32_t before = TickCount();
  SleepMs(100);
  const std::uint32_t slept = TicksBetween(before, TickCount());
  EXPECT_GE(slept, 100 - kTickStepMs);
  EXPECT_LT(slept, 2000u);
}

TEST(SystemClock, ReadsTheSameCounter) {
  Clock& clock = SystemClock();
  const std::uint32_t tick = TickCount();
  const std::uint32_t now = clock.Now();
  EXPECT_LT(TicksBetween(tick, now), 1000u);
  clock.Sleep(100);
  EXPECT_GE(TicksBetween(now, clock.Now()), 100 - kTickStepMs);
}

}  // namespace
}  // namespace tessaline::platform
