// The system clock object over the platform's tick count and sleep.
#include "platform/clock.h"

namespace tessaline::platform {

namespace {
class RealClock final : public Clock {
 public:
  std::uint32_t Now() override { return TickCount(); }
  void Sleep(std::uint32_t milliseconds) override { SleepMs(milliseconds); }
};
}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace tessaline::platform
