// Loopback peers for the network transport tests.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sockets.h"

namespace tessaline::testing {

// An address of the loopback range kept for these tests, away from 127.0.0.1 and 127.0.0.2.
inline std::uint32_t UnitLoopbackAddress() { return platform::Ipv4FromOctets(127, 0, 0, 45); }
inline std::uint32_t StrangerLoopbackAddress() { return platform::Ipv4FromOctets(127, 0, 0, 3); }

inline platform::Socket UdpBoundTo(std::uint32_t address, std::uint16_t port) {
  platform::Socket socket;
  if (!socket.Create(platform::Socket::Type::Udp) || !socket.SetReuseAddress(true) ||
      !socket.Bind(address, port) || !socket.SetReceiveTimeout(2000)) {
    socket.Close();
  }
  return socket;
}

inline platform::Socket TcpListenerOn(std::uint32_t address, std::uint16_t port) {
  platform::Socket socket;
  if (!socket.Create(platform::Socket::Type::Tcp) || !socket.SetReuseAddress(true) ||
      !socket.Bind(address, port) || !socket.Listen(4)) {
    socket.Close();
  }
  return socket;
}

inline std::string AsText(const std::uint8_t* bytes, std::int32_t count) {
  return count > 0 ? std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count))
                   : std::string();
}

}  // namespace tessaline::testing
