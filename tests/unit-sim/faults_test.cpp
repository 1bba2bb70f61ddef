// Each fault flag of the simulated unit does what it says, reproducibly from its seed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim_test_support.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline::sim {
namespace {

using testing::Bytes;
using testing::ChunkPayload;
using testing::ReplyData;
using testing::ReplySequence;
using testing::UdpClient;

std::unique_ptr<SimulatedUnit> StartFaultyUnit(const std::string& address, FaultConfig faults) {
  UnitConfig config;
  config.udpAddress = address;
  config.faults = faults;
  auto unit = std::make_unique<SimulatedUnit>(config);
  std::string error;
  EXPECT_TRUE(unit->Start(&error)) << error;
  return unit;
}

// Every datagram that answers one request, collected for a while.
std::vector<Bytes> Answers(UdpClient& client, const std::string& address, const Bytes& request,
                           int waitMs = 300) {
  client.SendTo(address, 6234, request);
  std::vector<Bytes> answers;
  while (const auto datagram = client.Receive(waitMs)) answers.push_back(*datagram);
  return answers;
}

TEST(SimulatedFaults, DropLosesTheRequestBeforeTheUnitSeesIt) {
  FaultConfig faults;
  faults.dropRequests = 1.0;
  auto unit = StartFaultyUnit("127.0.93.90", faults);
  UdpClient client;
  EXPECT_TRUE(Answers(client, "127.0.93.90", testing::Request(0x82, 1)).empty());
  EXPECT_TRUE(unit->RequestLog().empty());
  EXPECT_EQ(unit->Faults().dropped, 1u);
}

TEST(SimulatedFaults, CorruptReplyFailsItsCrcButTheRequestIsApplied) {
  FaultConfig faults;
  faults.corruptReplies = 1.0;
  auto unit = StartFaultyUnit("127.0.93.91", faults);
  UdpClient client;
  for (std::uint32_t sequence = 1; sequence <= 8; ++sequence) {
    const auto answers = Answers(client, "127.0.93.91", testing::Request(0x85, sequence), 100);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_FALSE(testing::DecodeFrame(answers[0])) << "sequence " << sequence;
  }
  EXPECT_EQ(unit->Faults().corrupted, 8u);
  EXPECT_EQ(unit->CommandOrder().size(), 8u);
}

TEST(SimulatedFaults, DuplicateSendsTheSameReplyTwice) {
  FaultConfig faults;
  faults.duplicateReplies = 1.0;
  auto unit = StartFaultyUnit("127.0.93.92", faults);
  UdpClient client;
  const auto answers = Answers(client, "127.0.93.92", testing::Request(0x85, 1));
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], answers[1]);
  EXPECT_EQ(ReplyData(*testing::DecodeFrame(answers[0])), Bytes{1});
  EXPECT_EQ(unit->CommandOrder().size(), 1u);
}

TEST(SimulatedFaults, DelayHoldsTheReplyBack) {
  FaultConfig faults;
  faults.delayReplies = 1.0;
  faults.delayMs = 400;
  auto unit = StartFaultyUnit("127.0.93.93", faults);
  UdpClient client;
  const auto start = std::chrono::steady_clock::now();
  client.SendTo("127.0.93.93", 6234, testing::Request(0x01));
  EXPECT_FALSE(client.Receive(250));
  EXPECT_TRUE(client.Receive(1000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST(SimulatedFaults, StaleReplyCarriesThePreviousSequenceNumber) {
  FaultConfig faults;
  faults.staleSequence = 1.0;
  auto unit = StartFaultyUnit("127.0.93.94", faults);
  UdpClient client;
  const auto answers = Answers(client, "127.0.93.94", testing::Request(0x89, 7));
  ASSERT_EQ(answers.size(), 1u);
  const auto packet = testing::DecodeFrame(answers[0]);
  ASSERT_TRUE(packet);  // a good CRC: only the number is wrong
  EXPECT_EQ(packet->at(0), 0x89);
  EXPECT_EQ(ReplySequence(*packet), 6u);
  // Plain replies carry no number and are left alone.
  const auto plain = Answers(client, "127.0.93.94", testing::Request(0x09));
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(testing::DecodeFrame(plain[0])->size(), 7u);
}

TEST(SimulatedFaults, RefuseAnswersStatusZeroToTheNthOfAKindOnly) {
  FaultConfig faults;
  faults.refuseCommand = 0x06;
  faults.refuseNth = 2;
  auto unit = StartFaultyUnit("127.0.93.95", faults);
  testing::UdpBootloaderClient client("127.0.93.95");
  ASSERT_EQ(ReplyData(*client.Exchange(0x85, 1)), Bytes{1});
  std::vector<std::uint8_t> statuses;
  for (std::uint32_t i = 0; i < 3; ++i) {
    const auto reply = client.Exchange(
        0x86, 2 + i, ChunkPayload(0x40000 + 64 * i, Bytes(64, static_cast<std::uint8_t>(i + 1))));
    ASSERT_TRUE(reply);
    statuses.push_back(ReplyData(*reply).at(0));
  }
  EXPECT_EQ(statuses, (std::vector<std::uint8_t>{1, 0, 1}));
  const Bytes flash = unit->FlashData();
  ASSERT_EQ(flash.size(), 192u);
  EXPECT_EQ(flash[64], 0xFF);  // the refused chunk was not written
  EXPECT_EQ(flash[128], 3);
  EXPECT_EQ(unit->Faults().refused, 1u);
}

TEST(SimulatedFaults, SilentAfterNRequestsAnswersNothingMore) {
  FaultConfig faults;
  faults.silentAfter = 3;
  auto unit = StartFaultyUnit("127.0.93.96", faults);
  testing::UdpBootloaderClient client("127.0.93.96");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(client.Exchange(0x01)) << i;
  EXPECT_FALSE(client.Exchange(0x01, 0, {}, 300));
  EXPECT_FALSE(client.Exchange(0x82, 1, {}, 300));
  EXPECT_EQ(unit->RequestLog().size(), 5u);
  EXPECT_EQ(unit->CommandOrder().size(), 3u);
  EXPECT_EQ(unit->Faults().silenced, 2u);
}

// Polls until `done`; generous, so a busy machine does not fail it.
template <typename Condition>
bool Within5s(Condition done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

TEST(SimulatedFaults, ALostOrRefusedFinishOrExitLeavesTheUnitInBootloadModeUntilOneIsTaken) {
  using Request = std::pair<std::uint8_t, std::uint32_t>;  // command, sequence
  FaultConfig firstFinishLost;
  firstFinishLost.dropArrivals = {{0x04, 1}};
  FaultConfig threeExitsLost;  // counted over both forms and a resend
  threeExitsLost.dropArrivals = {{0x8B, 3}, {0x0B, 1}, {0x0B, 2}};
  FaultConfig finishRefused;
  finishRefused.refuseCommand = 0x04;
  finishRefused.refuseNth = 1;
  FaultConfig exitRefused = finishRefused;
  exitRefused.refuseCommand = 0x0B;
  const struct {
    FaultConfig faults;
    std::vector<Request> untaken;  // each lost, or refused when the case refuses
    Request taken;
  } cases[] = {
      {firstFinishLost, {{0x84, 1}}, {0x84, 1}},
      {threeExitsLost, {{0x0B, 0}, {0x8B, 1}, {0x8B, 1}}, {0x8B, 1}},
      {finishRefused, {{0x84, 1}}, {0x84, 2}},
      {exitRefused, {{0x0B, 0}}, {0x0B, 0}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const std::string address = "127.0.93." + std::to_string(110 + i);
    auto unit = StartFaultyUnit(address, c.faults);
    testing::UdpBootloaderClient client(address);
    const bool refuses = c.faults.refuseCommand >= 0;
    for (std::uint32_t n = 1; n <= c.untaken.size(); ++n) {
      const auto [command, sequence] = c.untaken[n - 1];
      const auto reply = client.Exchange(command, sequence, {}, refuses ? 1000 : 100);
      ASSERT_EQ(reply.has_value(), refuses) << i;
      if (reply) {
        EXPECT_EQ(ReplyData(*reply), Bytes{0}) << i;  // refused
      }
      EXPECT_TRUE(Within5s([&] { return unit->Faults().dropped + unit->Faults().refused == n; }));
      EXPECT_EQ(unit->Mode(), UnitMode::Bootloader) << i << " " << n;
    }
    client.Socket().SendTo(address, 6234, testing::Request(c.taken.first, c.taken.second));
    EXPECT_TRUE(Within5s([&] { return unit->Mode() == UnitMode::Application; })) << i;
  }
}

// Which of 30 requests are dropped at probability 0.5 with a given seed.
std::vector<bool> DropPattern(const std::string& address, std::uint64_t seed) {
  FaultConfig faults;
  faults.seed = seed;
  faults.dropRequests = 0.5;
  auto unit = StartFaultyUnit(address, faults);
  testing::UdpBootloaderClient client(address);
  std::vector<bool> answered;
  for (int i = 0; i < 30; ++i) answered.push_back(client.Exchange(0x09, 0, {}, 100).has_value());
  return answered;
}

TEST(SimulatedFaults, SameSeedGivesTheSamePattern) {
  const auto first = DropPattern("127.0.93.97", 42);
  const auto again = DropPattern("127.0.93.97", 42);
  const auto other = DropPattern("127.0.93.97", 43);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
  const auto dropped = std::count(first.begin(), first.end(), false);
  EXPECT_GT(dropped, 5);
  EXPECT_LT(dropped, 25);
}

}  // namespace
}  // namespace tessaline::sim
