// The TCP transport against a text port played on loopback.
#include "transport/ethernet_transport_tcp.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <vector>

#include "platform/clock.h"
#include "platform/threading.h"
#include "transport/loopback.h"

namespace tessaline {
namespace {

using testing::AsText;
using testing::TcpListenerOn;
using testing::UnitLoopbackAddress;

class TcpTransportTest : public ::testing::Test {
 protected:
  // Everything the peer receives until the client closes or `bytes` have come.
  static std::string ReceiveAll(platform::Socket& peer, std::size_t bytes) {
    std::string seen;
    std::array<std::uint8_t, 256> buffer{};
    peer.SetReceiveTimeout(2000);
    while (seen.size() < bytes) {
      const std::int32_t got = peer.Receive(buffer.data(), buffer.size());
      if (got <= 0) break;
      seen += AsText(buffer.data(), got);
    }
    return seen;
  }
};

TEST_F(TcpTransportTest, ConnectRefusedFailsSilently) {
  std::uint16_t closedPort = 0;
  {
    platform::Socket listener = TcpListenerOn(UnitLoopbackAddress(), 0);
    ASSERT_TRUE(listener.IsValid());
    closedPort = listener.LocalEndpoint()->port;
  }
  EthernetTransportTCP transport(UnitLoopbackAddress(), closedPort);
  EXPECT_FALSE(transport.Open());
  EXPECT_FALSE(transport.SocketSetupFailure()) << "a unit without a text port is no socket failure";
  EXPECT_EQ(transport.OpenFailure(), "");
  // An Open that fails part way leaves nothing open; using it fails harmlessly.
  EXPECT_FALSE(transport.IsOpen());
  const std::uint8_t byte = '<';
  EXPECT_FALSE(transport.Write(&byte, 1));
  std::array<std::uint8_t, 16> buffer{};
  EXPECT_EQ(transport.Read(buffer.data(), buffer.size()), 0u);
  EXPECT_TRUE(transport.Close());
  EXPECT_FALSE(transport.IsOpen());
}

TEST_F(TcpTransportTest, PortZeroMeansTheDefaultParserPort) {
  EthernetTransportTCP transport(UnitLoopbackAddress(), 0);
  EXPECT_EQ(transport.Port(), kDefaultParserPort);
  EXPECT_EQ(EthernetTransportTCP(UnitLoopbackAddress(), 0x10000u + 5000u).Port(), 5000);
  EXPECT_EQ(transport.GetKind(), "TCP");
  EXPECT_EQ(transport.GetEndpoint(), UnitLoopbackAddress());

  platform::Socket listener = TcpListenerOn(UnitLoopbackAddress(), kDefaultParserPort);
  if (!listener.IsValid()) GTEST_SKIP() << "TCP port 4999 of the test unit's address is in use";
  ASSERT_TRUE(transport.Open());
  platform::Ipv4Endpoint from;
  platform::Socket served = listener.Accept(&from);
  EXPECT_TRUE(served.IsValid());
}

TEST_F(TcpTransportTest, ReadOnASilentPeerReturnsNothingAfterAboutATenthOfASecond) {
  platform::Socket listener = TcpListenerOn(UnitLoopbackAddress(), 0);
  ASSERT_TRUE(listener.IsValid());
  EthernetTransportTCP transport(UnitLoopbackAddress(), listener.LocalEndpoint()->port);
  ASSERT_TRUE(transport.Open());
  platform::Socket served = listener.Accept(nullptr);
  ASSERT_TRUE(served.IsValid());

  std::array<std::uint8_t, 128> buffer{};
  const std::uint32_t start = platform::TickCount();
  EXPECT_EQ(transport.Read(buffer.data(), buffer.size()), 0u);
  const std::uint32_t waited = platform::TicksBetween(start, platform::TickCount());
  EXPECT_GE(waited, 70u);
  EXPECT_LT(waited, 1500u);

  const std::array<std::uint8_t, 3> bytes{'a', 'b', 'c'};
  ASSERT_EQ(served.Send(bytes.data(), bytes.size()), 3);
  EXPECT_EQ(transport.Read(buffer.data(), buffer.size()), 3u);
  served.Close();
  EXPECT_EQ(transport.Read(buffer.data(), buffer.size()), 0u) << "peer closed";
}

TEST_F(TcpTransportTest, TextQuerySendsCrLfAndCollectsTheReply) {
  platform::Socket listener = TcpListenerOn(UnitLoopbackAddress(), 0);
  ASSERT_TRUE(listener.IsValid());
  EthernetTransportTCP transport(UnitLoopbackAddress(), listener.LocalEndpoint()->port);
  ASSERT_TRUE(transport.Open());
  platform::Socket served = listener.Accept(nullptr);
  ASSERT_TRUE(served.IsValid());

  std::string peerSaw;
  platform::JoinedThread unit([&] {
    peerSaw = ReceiveAll(served, 10);
    const std::string answer = "ok\r\n<BQ,E/>\r\n";
    served.Send(reinterpret_cast<const std::uint8_t*>(answer.data()),
                static_cast<std::uint32_t>(answer.size()));
  });
  std::string reply;
  EXPECT_TRUE(transport.TextQuery("<SY,BQ/>", reply, 16, 250));
  unit.Join();
  EXPECT_EQ(peerSaw, "<SY,BQ/>\r\n");
  EXPECT_EQ(reply, "<BQ,E/>");
}

TEST_F(TcpTransportTest, TextQueryToASilentPeerWaitsFiveTimesItsTimeOut) {
  platform::Socket listener = TcpListenerOn(UnitLoopbackAddress(), 0);
  ASSERT_TRUE(listener.IsValid());
  EthernetTransportTCP transport(UnitLoopbackAddress(), listener.LocalEndpoint()->port);
  ASSERT_TRUE(transport.Open());
  platform::Socket served = listener.Accept(nullptr);

  std::string reply;
  const std::uint32_t start = platform::TickCount();
  EXPECT_FALSE(transport.TextQuery("<SY,BQ/>", reply, 16, 100));
  const std::uint32_t waited = platform::TicksBetween(start, platform::TickCount());
  EXPECT_GE(waited, 500u);
  EXPECT_LT(waited, 3000u);
  EXPECT_TRUE(reply.empty());
}

TEST_F(TcpTransportTest, APeerThatStreamsOrHangsUpCostsAtMostTheQuerysTime) {
  struct Case {
    const char* what;
    bool streams;  // else the peer hangs up at once
    std::uint32_t longestMs;
  };
  // A streaming peer: drain bounded by 100 ms, then 5 x 100 ms for the reply. One that hangs up
  // ends the query long before its 500 ms.
  const Case cases[] = {{"streams", true, 2000}, {"hangs up", false, 400}};
  for (const Case& c : cases) {
    platform::Socket listener = TcpListenerOn(UnitLoopbackAddress(), 0);
    ASSERT_TRUE(listener.IsValid());
    EthernetTransportTCP transport(UnitLoopbackAddress(), listener.LocalEndpoint()->port);
    ASSERT_TRUE(transport.Open());
    platform::Socket served = listener.Accept(nullptr);
    ASSERT_TRUE(served.IsValid());
    if (!c.streams) served.Close();
    std::atomic<bool> done{false};
    platform::JoinedThread peer([&] {
      const std::string noise = "status 1 2 3 4\r\n";
      const std::uint32_t start = platform::TickCount();
      // Streams until the query ends, or long enough to show a query that never would.
      while (c.streams && !done && platform::TicksBetween(start, platform::TickCount()) < 8000) {
        served.Send(reinterpret_cast<const std::uint8_t*>(noise.data()),
                    static_cast<std::uint32_t>(noise.size()));
        platform::SleepMs(10);
      }
    });
    std::string reply;
    const std::uint32_t start = platform::TickCount();
    EXPECT_FALSE(transport.TextQuery("<SY,BQ/>", reply, 16, 100)) << c.what;
    EXPECT_LT(platform::TicksBetween(start, platform::TickCount()), c.longestMs) << c.what;
    done = true;
    peer.Join();
    EXPECT_EQ(transport.IsOpen(), c.streams) << c.what;
  }
}

}  // namespace
}  // namespace tessaline
