// What the end-to-end update tests share: the package's figures, the wire order, one job run.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "package/package.h"
#include "platform/clock.h"
#include "platform/sockets.h"
#include "support/memory_package.h"
#include "support/recording_job_observer.h"
#include "support/simulated_units.h"
#include "transport/unit_address.h"
#include "unit-sim/simulated_unit.h"
#include "update/jobs.h"
#include "update/unit_update.h"

namespace tessaline::e2e {

using Codes = std::vector<std::uint8_t>;
using testing::ResourceBytes;
using testing::ResourceText;
using testing::StartUnit;
using testing::UdpUnit;
using testing::UnitIp;

constexpr std::uint32_t kPackageRecords = 15613;
constexpr std::uint32_t kPackageFlashBytes = 656911;
constexpr std::uint32_t kPackageBatches = 1952;
constexpr std::uint32_t kPackageChunks = 10265;
constexpr std::uint32_t kFullRange = kPackageRecords + kPackageFlashBytes + 10;  // 672534

// Real time, but the job's pauses cost nothing: the suite stays fast.
class NoPauseClock final : public platform::Clock {
 public:
  std::uint32_t Now() override { return platform::TickCount(); }
  void Sleep(std::uint32_t) override {}
};

inline Codes Join(std::initializer_list<Codes> parts) {
  Codes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
inline Codes Times(std::uint8_t code, std::size_t n) { return Codes(n, code); }

inline Codes FullUpdateOrder() {
  return Join({{0x01, 0x89, 0x82, 0x8E},
               Times(0x83, kPackageBatches),
               {0x8F, 0x85},
               Times(0x86, kPackageChunks),
               {0x87, 0x8C, 0x89, 0x84}});
}

enum class JobKind { Update, ExitBootload };

struct RunRecord {
  JobOutcome outcome = JobOutcome::NoResponse;
  JobResult result;
  std::optional<std::uint32_t> plan;  // the update's whole size, as told
  std::optional<std::uint32_t> lastPosition;
  bool toldOnce = false;  // exactly one Finished, last, with the outcome returned
  std::uint32_t framesSent = 0;
  std::uint32_t framesReceived = 0;
};

class UpdateEndToEnd : public ::testing::Test {
 protected:
  // One job on the calling thread: an update the way every front end runs one (UpdateUnit), or
  // the exit-bootload job.
  static RunRecord Run(JobKind kind, const UnitAddress& unit, bool firmware, bool factoryDefaults,
                       const Package& package = *EmbeddedPackage()) {
    NoPauseClock clock;
    RunRecord record{};
    UnitUpdatePolicy policy;
    policy.job.trace = [&record](TraceDirection direction, std::span<const std::uint8_t>,
                                 std::uint32_t) {
      ++(direction == TraceDirection::Sent ? record.framesSent : record.framesReceived);
    };
    policy.job.clock = &clock;
    policy.job.firmware = firmware;
    policy.job.factoryDefaults = factoryDefaults;
    testing::RecordingJobObserver events;
    record.result = kind == JobKind::Update ? UpdateUnit(unit, package, policy, events)
                                            : RunExitBootloadJob(unit, policy.job, events);
    record.outcome = record.result.outcome;
    record.plan = events.Plan();
    record.lastPosition = events.LastPosition();
    record.toldOnce = events.FinishedOnceWith(record.outcome);
    return record;
  }

  static void ExpectUnitHoldsThePackage(const sim::SimulatedUnit& unit) {
    testing::ExpectHoldsThePackage(unit);
    EXPECT_TRUE(unit.FactoryDefaultsRestored());
  }

  platform::SocketLibrary sockets_;
};

}  // namespace tessaline::e2e
