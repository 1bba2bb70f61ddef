// The exchange engine over a real serial transport on a pseudo-terminal, the test playing the unit.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "link/bootloader_link.h"
#include "link/crc16.h"
#include "link/packet_codec.h"
#include "platform/clock.h"
#include "platform/pseudo_terminal.h"
#include "platform/threading.h"
#include "transport/com_port_table.h"
#include "transport/com_transport.h"

namespace tessaline {
namespace {

using testing::PseudoTerminal;

std::string PlainReply(std::uint8_t command, std::vector<std::uint8_t> data) {
  std::vector<std::uint8_t> packet{command};
  for (const std::uint8_t byte : data) packet.push_back(byte);
  AppendCrc(packet);
  std::vector<std::uint8_t> frame;
  FrameBytes(packet, frame);
  return std::string(frame.begin(), frame.end());
}

// Bytes on the line of the version request (0x09, no data) as a new link frames it.
std::size_t VersionRequestBytes() {
  std::uint32_t counter = 0;
  std::array<std::uint8_t, kFrameCapacity> packet{};
  const auto size = BuildRequest(0x09, nullptr, 0, counter, packet);
  return FramedSize(std::span<const std::uint8_t>(packet.data(), size.value_or(0)));
}

// A reply's EOT ends the exchange at once, whatever comes before or after it on the line.
TEST(BootloaderLinkOverPty, AReplyIsTakenOnItsEot) {
  const std::string reply = PlainReply(0x09, {4, 3, 2, 1});
  struct Case {
    const char* name;
    std::size_t firstPart;  // bytes sent before a pause of kPauseMs
    std::uint32_t noiseMs;  // line noise after the reply, one byte every 0.3 ms
  };
  constexpr std::uint32_t kPauseMs = 60;
  const Case cases[] = {
      {"reply split across reads", 4, 0},
      {"reply followed by line noise", reply.size(), 1500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PseudoTerminal pty;
    BootloaderLink link;
    link.SetTransport(std::make_unique<COMTransport>(pty.Path(), kBootloaderBaudRate));
    ASSERT_TRUE(link.OpenTransport());
    platform::JoinedThread unit([&] {
      ASSERT_EQ(pty.Receive(VersionRequestBytes()).size(), VersionRequestBytes());
      ASSERT_TRUE(pty.Send(reply.substr(0, c.firstPart)));
      if (c.firstPart < reply.size()) {
        platform::SleepMs(kPauseMs);
        ASSERT_TRUE(pty.Send(reply.substr(c.firstPart)));
      }
      const std::uint32_t replyEnded = platform::TickCount();
      while (platform::TicksBetween(replyEnded, platform::TickCount()) < c.noiseMs) {
        pty.Send("\x55");
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    });
    const std::uint32_t start = platform::TickCount();
    EXPECT_TRUE(link.Exchange(0x09, nullptr, 0, 5, 1000));
    const std::uint32_t took = platform::TicksBetween(start, platform::TickCount());
    EXPECT_EQ(link.GetReplyLength(), 7);
    if (c.noiseMs > 0) {
      EXPECT_LT(took, 150u) << "the noise must not hold the exchange";
    } else {
      EXPECT_GE(took, kPauseMs) << "the whole reply was awaited";
    }
    unit.Join();
  }
}

// A device that goes away (USB adapter pulled) fails every read at once: the transport closes
// itself and the exchange ends at once instead of spinning until its 5 s resend deadline.
TEST(BootloaderLinkOverPty, AHungUpPortEndsTheExchangeAtOnce) {
  PseudoTerminal pty;
  BootloaderLink link;
  link.SetTransport(std::make_unique<COMTransport>(pty.Path(), kBootloaderBaudRate));
  ASSERT_TRUE(link.OpenTransport());
  auto* transport = static_cast<COMTransport*>(link.GetTransport());
  platform::JoinedThread unit([&] {
    ASSERT_EQ(pty.Receive(VersionRequestBytes()).size(), VersionRequestBytes());
    pty.CloseMaster();
  });
  const std::uint32_t start = platform::TickCount();
  EXPECT_FALSE(link.Exchange(0x09, nullptr, 0, 5, 1000));
  const std::uint32_t took = platform::TicksBetween(start, platform::TickCount());
  unit.Join();
  EXPECT_LT(took, 1000u) << "well before the first resend at 5000 ms";
  EXPECT_TRUE(link.TransportLost());
  EXPECT_TRUE(transport->HungUp());
  EXPECT_FALSE(transport->IsOpen());

  // Opening again starts afresh: no stale hang-up is reported.
  transport->Open();
  EXPECT_FALSE(transport->HungUp());
}

}  // namespace
}  // namespace tessaline
