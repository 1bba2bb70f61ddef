// Loopback peers for the network transport tests.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sockets.h"

namespace tessaline::testing {

inline const std::uint32_t kLoopback = platform::Ipv4FromOctets(127, 0, 0, 1);
inline const std::uint32_t kStrangerAddress = platform::Ipv4FromOctets(127, 0, 0, 3);
// Where the host-side stranger of the Wine fixture takes its orders.
inline constexpr std::uint16_t kStrangerControlPort = 46234;
inline constexpr std::uint32_t kPeerWaitMs = 2000;

inline platform::Socket UdpBoundTo(std::uint32_t address, std::uint16_t port) {
  platform::Socket socket;
  if (!socket.Create(platform::Socket::Type::Udp) || !socket.Bind(address, port) ||
      !socket.SetReceiveTimeout(kPeerWaitMs)) {
    socket.Close();
  }
  return socket;
}

// True when datagrams from a socket bound to `address` carry that source address. Wine binds a
// UDP socket for any local address but 127.0.0.1 to the interface instead, so its datagrams seem
// to come from 127.0.0.1.
inline bool BoundSourceIsKept(std::uint32_t address) {
  platform::Socket probe = UdpBoundTo(kLoopback, 0);
  platform::Socket sender = UdpBoundTo(address, 0);
  const auto to = probe.LocalEndpoint();
  const std::uint8_t byte = '?';
  if (!sender.IsValid() || !to || !sender.SendTo(kLoopback, to->port, &byte, 1)) return false;
  std::uint8_t buffer[4];
  platform::Ipv4Endpoint from;
  return probe.ReceiveFrom(buffer, sizeof buffer, &from) == 1 && from.address == address;
}

// The unit's address for these tests: one of the loopback range away from 127.0.0.1 and
// 127.0.0.2 (which the simulated unit uses), or 127.0.0.1 where bound sources are not kept.
inline std::uint32_t UnitLoopbackAddress() {
  static const std::uint32_t address = [] {
    const std::uint32_t preferred = platform::Ipv4FromOctets(127, 0, 0, 45);
    return BoundSourceIsKept(preferred) ? preferred : kLoopback;
  }();
  return address;
}

inline platform::Socket TcpListenerOn(std::uint32_t address, std::uint16_t port) {
  platform::Socket socket;
  // Lets a rerun bind over the TIME_WAIT its predecessor left.
  if (!socket.Create(platform::Socket::Type::Tcp) || !socket.SetReuseAddress(true) ||
      !socket.Bind(address, port) || !socket.Listen(4)) {
    socket.Close();
  }
  return socket;
}

inline std::string AsText(const std::uint8_t* bytes, std::int32_t count) {
  return count > 0
             ? std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count))
             : std::string();
}

}  // namespace tessaline::testing
