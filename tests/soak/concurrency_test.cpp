// A version query and an update job on different units at the same time: each link keeps its own
// decoder, deadlines and buffers, so both must end exactly as they would alone.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "discovery/version_worker.h"
#include "platform/sockets.h"
#include "soak_support.h"
#include "support/recording_listeners.h"

namespace tessaline::soak {
namespace {

constexpr std::size_t kSliceRecords = 400;
constexpr std::size_t kSliceFlashBytes = 4096;
constexpr std::uint32_t kQueryWaitMs = 20000;
constexpr std::uint32_t kMinimumQueries = 3;

// The queried unit differs from the updated one in every version it reports.
constexpr std::uint8_t kQueriedBootloaderMajor = 2;
constexpr std::uint8_t kQueriedBootloaderMinor = 7;
constexpr std::uint32_t kQueriedApplicationVersion = 0x00030009;

using testing::VersionEvent;

TEST(Concurrency, AVersionQueryAndAnUpdateOnOtherUnitsBothEndCorrectly) {
  platform::SocketLibrary sockets;
  PackageSlice package(kSliceRecords, kSliceFlashBytes);
  ASSERT_TRUE(package.Valid());

  const std::string updatedAddress = "127.0.32.1";
  auto updated = StartUnit(LineKind::Udp, updatedAddress, {});
  ASSERT_NE(updated, nullptr);

  sim::UnitConfig queriedConfig;
  queriedConfig.udpAddress = "127.0.32.2";
  queriedConfig.bootloaderMajor = kQueriedBootloaderMajor;
  queriedConfig.bootloaderMinor = kQueriedBootloaderMinor;
  queriedConfig.applicationVersion = kQueriedApplicationVersion;
  sim::SimulatedUnit queried(queriedConfig);
  ASSERT_TRUE(queried.Start());

  std::atomic<bool> updateRunning{true};
  JobRun update;
  std::thread job([&] {
    update =
        RunUpdate(LineKind::Udp, updatedAddress, *updated, package, {}, platform::SystemClock());
    updateRunning = false;
  });

  // The version worker serves one query after another for as long as the update runs.
  VersionQueue queue;
  queue.StartVersionWorker();
  std::uint32_t queries = 0;
  std::uint32_t wrongAnswers = 0;
  while (updateRunning || queries < kMinimumQueries) {
    auto listener = std::make_shared<testing::RecordingVersionListener>();
    queue.SubmitVersionQuery(
        {UnitAddress::Network(platform::Ipv4FromOctets(127, 0, 32, 2)), 0, listener});
    ASSERT_TRUE(listener->WaitForEnd(kQueryWaitMs)) << "query " << queries;
    const std::vector<VersionEvent> right = {
        VersionEvent::Began(),
        VersionEvent::Bootloader(kQueriedBootloaderMajor << 8 | kQueriedBootloaderMinor),
        VersionEvent::Application(kQueriedApplicationVersion), VersionEvent::Ended()};
    if (listener->Events() != right) ++wrongAnswers;
    ++queries;
  }
  job.join();
  queue.StopVersionWorker();

  EXPECT_EQ(wrongAnswers, 0u) << "of " << queries << " queries";
  EXPECT_EQ(update.outcome, JobOutcome::Succeeded);
  EXPECT_TRUE(update.reportedOnce);
  EXPECT_TRUE(package.HeldBy(*updated)) << "the updated unit differs from the package";
  // Each unit saw only its own conversation.
  for (const std::uint8_t command : queried.CommandOrder()) {
    EXPECT_TRUE(command == 0x01 || command == 0x09) << "queried unit got " << int{command};
  }
  for (const auto& entry : updated->RequestLog()) {
    EXPECT_NE(entry.command, 0x09) << "the updated unit got a plain version query";
  }
  std::printf("concurrency: %u version queries answered during one update\n", queries);
}

}  // namespace
}  // namespace tessaline::soak
