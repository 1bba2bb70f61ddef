// The rack's scheduler on its own, with jobs that only report.
#include "update/rack_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/threading.h"

namespace tessaline {
namespace {

// Records what the runner tells, in order.
struct Recorder final : RackObserver {
  std::vector<std::string> told;
  void UnitStarted(std::size_t unit) override {
    told.push_back("started " + std::to_string(unit));
    // The system has no room for another thread from now on.
    platform::refuseThreadStarts = true;
  }
  void UnitFinished(std::size_t unit, const UnitUpdateReport&) override {
    told.push_back("finished " + std::to_string(unit));
  }
  void UnitSkipped(std::size_t unit) override { told.push_back("skipped " + std::to_string(unit)); }
  void UnitMessage(std::size_t unit, std::string_view text) override {
    told.push_back(std::to_string(unit) + " " + std::string(text.substr(0, 20)));
  }
};

TEST(RackRunner, AUnitWhoseThreadCannotStartIsReportedNotStartedAndTheRunningOneFinishes) {
  const std::vector<UnitAddress> units{UnitAddress::Serial("a"), UnitAddress::Serial("b"),
                                       UnitAddress::Serial("c")};
  Recorder recorder;
  const auto results = RunRack(units,
                               [](const UnitAddress&, JobObserver&, std::stop_token) {
                                 UnitUpdateReport report;
                                 report.outcome = {0, "succeeded", ""};
                                 return report;
                               },
                               {1, 0}, recorder, {});
  platform::refuseThreadStarts = false;
  EXPECT_EQ(recorder.told,
            (std::vector<std::string>{"started 0", "finished 0", "1 could not be started",
                                      "skipped 1", "skipped 2"}));
  ASSERT_EQ(results.size(), 3u);
  EXPECT_TRUE(results[0].report.has_value());
  EXPECT_FALSE(results[1].started || results[2].started);
}

}  // namespace
}  // namespace tessaline
