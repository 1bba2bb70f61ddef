// The UDP transport against a unit played on loopback port 6234.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/clock.h"
#include "platform/message_box.h"
#include "transport/ethernet_transport.h"
#include "transport/loopback.h"

namespace tessaline {
namespace {

using testing::AsText;
using testing::StrangerLoopbackAddress;
using testing::UdpBoundTo;
using testing::UnitLoopbackAddress;

class UdpTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit_ = UdpBoundTo(UnitLoopbackAddress(), kBootloaderUdpPort);
    if (!unit_.IsValid()) GTEST_SKIP() << "port 6234 on 127.0.0.45 is in use";
    previous_ = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
      boxes_.push_back(r.text);
      return platform::MessageBoxResult::Ok;
    });
    ASSERT_TRUE(transport_.Open());
  }
  void TearDown() override { platform::SetMessageBoxHandler(previous_); }

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
  std::vector<std::string> boxes_;
  platform::MessageBoxHandler previous_;
};

TEST_F(UdpTransportTest, EachWriteIsOneDatagramToTheBootloaderPort) {
  const std::vector<std::string> packets{std::string("\x01\x01\x00\x10\x21\x04", 6),
                                         std::string(1, '\x04'), std::string(1500, '\x55')};
  for (const std::string& packet : packets) SendToUnit(packet);
  EXPECT_TRUE(boxes_.empty());
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
  platform::Socket stranger = UdpBoundTo(StrangerLoopbackAddress(), 0);
  ASSERT_TRUE(stranger.IsValid());
  const std::array<std::uint8_t, 3> fake{'B', 'A', 'D'};
  const std::array<std::uint8_t, 2> real{'O', 'K'};
  std::array<std::uint8_t, 2038> buffer{};

  ASSERT_TRUE(stranger.SendTo(reply_to.address, reply_to.port, fake.data(), fake.size()));
  EXPECT_EQ(transport_.Read(buffer.data(), buffer.size()), 0u);

  // A stranger's datagram ahead of the unit's does not hide the unit's; any unit port will do.
  platform::Socket unitOtherPort = UdpBoundTo(UnitLoopbackAddress(), 0);
  ASSERT_TRUE(stranger.SendTo(reply_to.address, reply_to.port, fake.data(), fake.size()));
  ASSERT_TRUE(unitOtherPort.SendTo(reply_to.address, reply_to.port, real.data(), real.size()));
  platform::SleepMs(20);
  ASSERT_EQ(transport_.Read(buffer.data(), buffer.size()), 2u);
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
