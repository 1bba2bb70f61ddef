// An IPv4 address and port as the socket API's sockaddr_in and back, the same on BSD sockets and
// Winsock; included only by the socket implementations.
#pragma once

#ifdef _WIN32
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdint>

#include "platform/sockets.h"

namespace tessaline::platform {

inline sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  result.sin_addr.s_addr = address;
  return result;
}

inline const sockaddr* AsGeneric(const sockaddr_in& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}
inline sockaddr* AsGeneric(sockaddr_in& address) { return reinterpret_cast<sockaddr*>(&address); }

inline Ipv4Endpoint EndpointOf(const sockaddr_in& address) {
  return {address.sin_addr.s_addr, ntohs(address.sin_port)};
}

}  // namespace tessaline::platform
