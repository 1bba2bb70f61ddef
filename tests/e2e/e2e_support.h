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
#include "support/recording_message_target.h"
#include "support/simulated_units.h"
#include "transport/unit_address.h"
#include "ui/job_messages.h"
#include "ui/messages.h"
#include "unit-sim/simulated_unit.h"
#include "update/jobs.h"

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
               {0x87, 0x8C, 0x84}});
}

enum class JobKind { Update, ExitBootload };

struct RunRecord {
  JobOutcome outcome;
  std::vector<WorkerMessage> messages;
  std::uint32_t framesSent = 0;
  std::uint32_t framesReceived = 0;

  std::optional<std::uint64_t> Range() const {
    for (const auto& m : messages) {
      if (m.code == WM_APP_PROGRESS_RANGE) return m.lParam;
    }
    return std::nullopt;
  }
  std::optional<std::uint64_t> LastPosition() const {
    std::optional<std::uint64_t> last;
    for (const auto& m : messages) {
      if (m.code == WM_APP_PROGRESS_POS) last = m.wParam;
    }
    return last;
  }
  std::uint32_t LastCode() const { return messages.empty() ? 0 : messages.back().code; }
};

class UpdateEndToEnd : public ::testing::Test {
 protected:
  // One job on the calling thread, reporting through the desktop program's messages.
  static RunRecord Run(JobKind kind, const UnitAddress& unit, bool firmware, bool factoryDefaults,
                       const Package& package = *EmbeddedPackage()) {
    NoPauseClock clock;
    RunRecord record{};
    JobOptions options;
    options.trace = [&record](TraceDirection direction, std::span<const std::uint8_t>,
                              std::uint32_t) {
      ++(direction == TraceDirection::Sent ? record.framesSent : record.framesReceived);
    };
    options.clock = &clock;
    options.firmware = firmware;
    options.factoryDefaults = factoryDefaults;
    auto window = std::make_shared<RecordingMessageTarget>();
    // Not owned: the package outlives the job.
    JobMessages messages(window, std::shared_ptr<const Package>(std::shared_ptr<const Package>(),
                                                                &package));
    record.outcome = kind == JobKind::Update
                         ? RunUpdateJob(unit, package, options, messages).outcome
                         : RunExitBootloadJob(unit, options, messages).outcome;
    record.messages = window->Messages();
    return record;
  }

  static void ExpectUnitHoldsThePackage(const sim::SimulatedUnit& unit) {
    testing::ExpectHoldsThePackage(unit);
    EXPECT_TRUE(unit.FactoryDefaultsRestored());
  }

  platform::SocketLibrary sockets_;
};

}  // namespace tessaline::e2e
