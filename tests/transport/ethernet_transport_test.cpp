// The UDP transport against a unit played on loopback port 6234.
#include "transport/ethernet_transport.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "transport/loopback.h"

namespace tessaline {
namespace {

using testing::AsText;
using testing::kLoopback;
using testing::kPeerWaitMs;
using testing::kStrangerAddress;
using testing::kStrangerControlPort;
using testing::UdpBoundTo;
using testing::UnitLoopbackAddress;

// Sends "BAD" from 127.0.0.3 to `to`, and returns once it has gone. Where bound sources are not
// kept (Wine), a host process started by the test fixture sends it.
void SendFromStranger(const platform::Ipv4Endpoint& to) {
  const std::string bad = "BAD";
  if (testing::BoundSourceIsKept(kStrangerAddress)) {
    platform::Socket stranger = UdpBoundTo(kStrangerAddress, 0);
    ASSERT_TRUE(stranger.IsValid());
    ASSERT_TRUE(
        stranger.SendTo(to.address, to.port, reinterpret_cast<const std::uint8_t*>(bad.data()), 3));
    return;
  }
  ASSERT_EQ(to.address, kLoopback);
  platform::Socket ack = UdpBoundTo(kLoopback, 0);
  const std::string order =
      std::to_string(to.port) + " " + std::to_string(ack.LocalEndpoint()->port) + "\n";
  ASSERT_TRUE(ack.SendTo(kLoopback, kStrangerControlPort,
                         reinterpret_cast<const std::uint8_t*>(order.data()),
                         static_cast<std::uint32_t>(order.size())));
  std::uint8_t reply[16];
  ASSERT_GT(ack.ReceiveFrom(reply, sizeof reply, nullptr), 0)
      << "no host-side stranger on port " << kStrangerControlPort << " within " << kPeerWaitMs
      << " ms: run through the ctest fixture";
}

class UdpTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit_ = UdpBoundTo(UnitLoopbackAddress(), kBootloaderUdpPort);
    if (!unit_.IsValid()) GTEST_SKIP() << "UDP port 6234 of the test unit's address is in use";
    ASSERT_TRUE(transport_.Open());
  }

  // Sends `bytes` through the transport and returns where the unit saw them come from.
  platform::Ipv4Endpoint SendToUnit(const std::string& bytes) {
    EXPECT_TRUE(transport_.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                 static_cast<std::uint32_t>(bytes.size())));
    std::array<std::uint8_t, 2048> buffer{};
    platform::Ipv4Endpoint from;
    EXPECT_EQ(AsText(buffer.data(), unit_.ReceiveFrom(buffer.data(), buffer.size(), &from)), bytes);
    return from;
  }

  platform::Socket unit_;
  EthernetTransport transport_{UnitLoopbackAddress()};
};

TEST_F(UdpTransportTest, EachWriteIsOneDatagramToTheBootloaderPort) {
  const std::vector<std::string> packets{std::string("\x01\x01\x00\x10\x21\x04", 6),
                                         std::string(1, '\x04'), std::string(1500, '\x55')};
  for (const std::string& packet : packets) SendToUnit(packet);
  EXPECT_FALSE(transport_.SocketSetupFailure());
  EXPECT_EQ(transport_.GetKind(), "IP");
  EXPECT_EQ(transport_.GetEndpoint(), UnitLoopbackAddress());
}

TEST_F(UdpTransportTest, ReadGivesTheWholeReplyDatagram) {
  const platform::Ipv4Endpoint reply_to = SendToUnit("\x01\x0D\x04");
  const std::vector<std::uint8_t> reply{1, 0x0D, 4, 0, 0, 0, 9, 8, 7, 6, 0x10, 4};
  ASSERT_TRUE(unit_.SendTo(reply_to.address, reply_to.port, reply.data(), 12));
  std::array<std::uint8_t, 2038> buffer{};
  ASSERT_EQ(transport_.Read(buffer.data(), buffer.size()), 12u);
  EXPECT_TRUE(std::equal(reply.begin(), reply.end(), buffer.begin()));
}

TEST_F(UdpTransportTest, ReadOnASilentLinkWaitsAboutTenMilliseconds) {
  SendToUnit("x");
  std::array<std::uint8_t, 2038> buffer{};
  const std::uint32_t start = platform::TickCount();
  constexpr int kReads = 10;
  for (int i = 0; i < kReads; ++i) EXPECT_EQ(transport_.Read(buffer.data(), buffer.size()), 0u);
  const std::uint32_t perRead = platform::TicksBetween(start, platform::TickCount()) / kReads;
  EXPECT_GE(perRead, 5u);
  EXPECT_LT(perRead, 150u);
}

TEST_F(UdpTransportTest, DatagramsFromAnotherAddressAreDropped) {
  const platform::Ipv4Endpoint reply_to = SendToUnit("probe");
  const std::array<std::uint8_t, 2> real{'O', 'K'};
  std::array<std::uint8_t, 2038> buffer{};
  // Several reads, so the check holds however the host spreads the datagrams over read waits.
  constexpr int kReads = 5;

  SendFromStranger(reply_to);
  for (int i = 0; i < kReads; ++i) {
    EXPECT_EQ(transport_.Read(buffer.data(), buffer.size()), 0u) << "read " << i;
  }

  // A stranger's datagram ahead of the unit's does not hide the unit's; any unit port will do.
  platform::Socket unitOtherPort = UdpBoundTo(UnitLoopbackAddress(), 0);
  SendFromStranger(reply_to);
  ASSERT_TRUE(unitOtherPort.SendTo(reply_to.address, reply_to.port, real.data(), real.size()));
  std::uint32_t got = 0;
  for (int i = 0; i < kReads && got == 0; ++i) got = transport_.Read(buffer.data(), buffer.size());
  ASSERT_EQ(got, 2u);
  EXPECT_EQ(buffer[0], 'O');
  EXPECT_EQ(transport_.Read(buffer.data(), buffer.size()), 0u);
}

TEST_F(UdpTransportTest, CloseReleasesTheSocketAndOpenMakesANewOne) {
  EXPECT_TRUE(transport_.IsOpen());
  EXPECT_TRUE(transport_.Close());
  EXPECT_FALSE(transport_.IsOpen());
  EXPECT_TRUE(transport_.Close());
  std::array<std::uint8_t, 16> buffer{};
  EXPECT_EQ(transport_.Read(buffer.data(), buffer.size()), 0u);
  ASSERT_TRUE(transport_.Open());
  SendToUnit("again");
}

}  // namespace
}  // namespace tessaline
