// Sockets on loopback: datagrams with their sender, receive time-outs, oversize datagrams, TCP.
#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/clock.h"

namespace tessaline::platform {
namespace {

const std::uint32_t kLoopback = Ipv4FromOctets(127, 0, 0, 1);

Socket BoundUdp(std::uint32_t address) {
  Socket socket;
  EXPECT_TRUE(socket.Create(Socket::Type::Udp));
  EXPECT_TRUE(socket.Bind(address, 0));
  return socket;
}

TEST(UdpSocket, DeliversOneDatagramWithItsSender) {
  Socket receiver = BoundUdp(kLoopback);
  Socket sender = BoundUdp(kLoopback);
  ASSERT_TRUE(receiver.SetReceiveTimeout(1000));
  const auto to = receiver.LocalEndpoint();
  const auto from = sender.LocalEndpoint();
  ASSERT_TRUE(to && from);
  ASSERT_NE(to->port, 0);

  const std::array<std::uint8_t, 5> payload{1, 2, 0, 0xFF, 5};
  ASSERT_TRUE(sender.SendTo(kLoopback, to->port, payload.data(), payload.size()));
  std::array<std::uint8_t, 64> buffer{};
  Ipv4Endpoint seen;
  ASSERT_EQ(receiver.ReceiveFrom(buffer.data(), buffer.size(), &seen), 5);
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), buffer.begin()));
  EXPECT_EQ(seen.address, kLoopback);
  EXPECT_EQ(seen.port, from->port);
}

TEST(UdpSocket, ReceiveTimesOutWithAnError) {
  Socket receiver = BoundUdp(kLoopback);
  ASSERT_TRUE(receiver.SetReceiveTimeout(50));
  std::array<std::uint8_t, 16> buffer{};
  const std::uint32_t start = TickCount();
  EXPECT_EQ(receiver.ReceiveFrom(buffer.data(), buffer.size(), nullptr), -1);
  const std::uint32_t waited = TicksBetween(start, TickCount());
  EXPECT_GE(waited, 30u);
  EXPECT_LT(waited, 1500u);
}

TEST(UdpSocket, DatagramLargerThanTheCapacityIsAnError) {
  Socket receiver = BoundUdp(kLoopback);
  Socket sender = BoundUdp(kLoopback);
  ASSERT_TRUE(receiver.SetReceiveTimeout(1000));
  const std::vector<std::uint8_t> big(100, 0xAB);
  const std::array<std::uint8_t, 3> small{7, 8, 9};
  const auto to = receiver.LocalEndpoint();
  ASSERT_TRUE(to);
  ASSERT_TRUE(
      sender.SendTo(kLoopback, to->port, big.data(), static_cast<std::uint32_t>(big.size())));
  ASSERT_TRUE(sender.SendTo(kLoopback, to->port, small.data(), small.size()));

  std::array<std::uint8_t, 10> buffer{};
  EXPECT_EQ(receiver.ReceiveFrom(buffer.data(), buffer.size(), nullptr), -1);
  // The oversize datagram is gone; the next one arrives whole.
  EXPECT_EQ(receiver.ReceiveFrom(buffer.data(), buffer.size(), nullptr), 3);
  EXPECT_EQ(buffer[2], 9);
}

TEST(TcpSocket, ConnectsSendsReceivesAndSeesThePeerClose) {
  Socket listener;
  ASSERT_TRUE(listener.Create(Socket::Type::Tcp));
  ASSERT_TRUE(listener.Bind(kLoopback, 0));
  ASSERT_TRUE(listener.Listen(1));
  const auto endpoint = listener.LocalEndpoint();
  ASSERT_TRUE(endpoint);

  Socket client;
  ASSERT_TRUE(client.Create(Socket::Type::Tcp));
  ASSERT_TRUE(client.SetReceiveTimeout(1000));
  ASSERT_TRUE(client.SetLingerOff());
  ASSERT_TRUE(client.Connect(kLoopback, endpoint->port, 1000));
  Ipv4Endpoint peer;
  Socket served = listener.Accept(&peer);
  ASSERT_TRUE(served.IsValid());
  EXPECT_EQ(peer.address, kLoopback);

  const std::array<std::uint8_t, 4> hello{'<', 'O', 'K', '>'};
  EXPECT_EQ(served.Send(hello.data(), hello.size()), 4);
  std::array<std::uint8_t, 16> buffer{};
  EXPECT_EQ(client.Receive(buffer.data(), buffer.size()), 4);
  EXPECT_EQ(buffer[1], 'O');

  served.Close();
  EXPECT_EQ(client.Receive(buffer.data(), buffer.size()), 0);
}

TEST(TcpSocket, ConnectToAClosedPortFails) {
  Socket probe;
  ASSERT_TRUE(probe.Create(Socket::Type::Tcp));
  ASSERT_TRUE(probe.Bind(kLoopback, 0));
  const auto unused = probe.LocalEndpoint();
  ASSERT_TRUE(unused);
  probe.Close();  // the port is now closed: nobody listens there

  Socket client;
  ASSERT_TRUE(client.Create(Socket::Type::Tcp));
  EXPECT_FALSE(client.Connect(kLoopback, unused->port, 1000));
  EXPECT_TRUE(client.IsValid());
}

TEST(TcpSocket, ConnectEndsByItsDeadlineWhenThePeerNeverAccepts) {
  Socket listener;
  ASSERT_TRUE(listener.Create(Socket::Type::Tcp));
  ASSERT_TRUE(listener.Bind(kLoopback, 0) && listener.Listen(0));
  const auto endpoint = listener.LocalEndpoint();
  ASSERT_TRUE(endpoint);
  // Nothing is accepted: a full queue drops further requests unanswered, as a unit that is off
  // or resetting does.
  std::vector<Socket> queued(16);
  bool stalled = false;
  for (std::size_t k = 0; k < queued.size() && !stalled; ++k) {
    ASSERT_TRUE(queued[k].Create(Socket::Type::Tcp));
    stalled = !queued[k].Connect(kLoopback, endpoint->port, 200);
  }
  ASSERT_TRUE(stalled) << "the listener's queue never filled";
  const std::uint32_t start = TickCount();
  EXPECT_FALSE(queued.back().Create(Socket::Type::Tcp) &&
               queued.back().Connect(kLoopback, endpoint->port, 300));
  const std::uint32_t took = TicksBetween(start, TickCount());
  EXPECT_GE(took, 250u);
  EXPECT_LT(took, 5000u) << "a blocking connect waits for the system's minutes";
}

TEST(Socket, MovingTransfersOwnership) {
  Socket first;
  ASSERT_TRUE(first.Create(Socket::Type::Udp));
  Socket second(std::move(first));
  EXPECT_FALSE(first.IsValid());
  EXPECT_TRUE(second.IsValid());
  Socket third;
  third = std::move(second);
  EXPECT_FALSE(second.IsValid());
  EXPECT_TRUE(third.IsValid());
  third.Close();
  EXPECT_FALSE(third.IsValid());
}

}  // namespace
}  // namespace tessaline::platform
