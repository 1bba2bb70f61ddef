// The rack's scheduler on its own, with jobs that only report: what ends a rack early, and the
// failure budget's warning.
#include "cli/rack_runner.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/threading.h"

namespace tessaline::cli {
namespace {

// Records what the runner tells, in order ("started 0", "skipped 2", "message 1: ...").
struct Recorder final : RackObserver {
  std::vector<std::string> told;
  std::function<void(std::size_t)> onStarted;
  void UnitStarted(std::size_t unit) override {
    told.push_back("started " + std::to_string(unit));
    if (onStarted) onStarted(unit);
  }
  void UnitFinished(std::size_t unit, const UnitUpdateReport&) override {
    told.push_back("finished " + std::to_string(unit));
  }
  void UnitSkipped(std::size_t unit) override { told.push_back("skipped " + std::to_string(unit)); }
  void UnitMessage(std::size_t unit, std::string_view text) override {
    told.push_back("message " + std::to_string(unit) + ": " + std::string(text.substr(0, 20)));
  }
};

std::vector<UnitAddress> Units(std::size_t count) {
  std::vector<UnitAddress> units;
  for (std::size_t k = 0; k < count; ++k)
    units.push_back(UnitAddress::Serial("unit" + std::to_string(k)));
  return units;
}

TEST(RackRunner, AHangUpOrAThreadThatCannotStartStartsNoFurtherUnit) {
  const struct {
    const char* name;
    bool hangUpInFirstJob;
    bool refuseAfterFirstStart;
    std::vector<std::string> told;
  } cases[] = {
      {"hang-up", true, false, {"started 0", "finished 0", "skipped 1", "skipped 2"}},
      {"no thread",
       false,
       true,
       {"started 0", "finished 0", "message 1: could not be started", "skipped 1", "skipped 2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::stop_source interrupt;
    std::stop_source hangUp;
    Recorder recorder;
    if (c.refuseAfterFirstStart) {
      recorder.onStarted = [](std::size_t) { platform::refuseThreadStarts = true; };
    }
    std::vector<bool> stoppedJobs;
    const UnitJob job = [&](const UnitAddress&, JobObserver&, std::stop_token stop) {
      if (c.hangUpInFirstJob) hangUp.request_stop();
      stoppedJobs.push_back(stop.stop_requested());
      UnitUpdateReport report;
      report.outcome = {0, "succeeded", ""};
      return report;
    };
    // One at a time, so the first unit's job has run before the scheduler looks again.
    const auto results =
        RunRack(Units(3), job, {1, 0}, recorder, {interrupt.get_token(), hangUp.get_token()});
    platform::refuseThreadStarts = false;
    EXPECT_EQ(recorder.told, c.told);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].started && results[0].report);
    EXPECT_FALSE(results[1].started || results[2].started);
    EXPECT_EQ(stoppedJobs, std::vector<bool>{false}) << "the running unit was not stopped";
  }
}

TEST(RackRunner, MaxFailuresWarnsWhenItCannotStopAnything) {
  const struct {
    RackLimits limits;
    std::size_t units;
    const char* warning;  // a fragment; empty: none
  } cases[] = {
      {{kDefaultParallelUnits, 2}, 10, "all 10 units start at once"},
      {{4, 10}, 10, "the rack has only 10 units"},
      {{4, 2}, 10, ""},
      {{kDefaultParallelUnits, 0}, 10, ""},
      {{kDefaultParallelUnits, 2}, 40, ""},
  };
  for (const auto& c : cases) {
    const auto warning = MaxFailuresWarning(c.limits, c.units);
    SCOPED_TRACE(warning.value_or("none"));
    EXPECT_EQ(warning.has_value(), *c.warning != '\0');
    if (warning) {
      EXPECT_NE(warning->find(c.warning), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace tessaline::cli
