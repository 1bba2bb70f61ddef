// The one manual clock of the tests: time moves only when the code under test sleeps, and every
// sleep is kept for the test to read.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace tessaline::testing {

class ManualClock final : public platform::Clock {
 public:
  explicit ManualClock(std::uint32_t start = 1000) : now_(start) {}
  std::uint32_t Now() override { return now_; }
  void Sleep(std::uint32_t milliseconds) override {
    sleeps_.push_back(milliseconds);
    now_ += milliseconds;
  }
  const std::vector<std::uint32_t>& Sleeps() const { return sleeps_; }

 private:
  std::uint32_t now_;
  std::vector<std::uint32_t> sleeps_;
};

}  // namespace tessaline::testing
