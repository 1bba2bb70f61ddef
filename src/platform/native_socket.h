// The socket API as BSD sockets and Winsock both spell it: the handle type, option setting, and an
// IPv4 address and port as sockaddr_in and back; included only by the socket implementations.
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

#ifdef _WIN32
using NativeSocket = SOCKET;
using SocketLength = int;
inline constexpr int kNoSignal = 0;  // Winsock raises no signal for a closed peer
#else
using NativeSocket = int;
using SocketLength = socklen_t;
inline constexpr int kNoSignal = MSG_NOSIGNAL;  // a closed peer is an error, not SIGPIPE
#endif

inline NativeSocket Native(std::intptr_t handle) { return static_cast<NativeSocket>(handle); }

// A SOL_SOCKET option; Winsock takes the value as const char*, BSD sockets as const void*.
template <typename Value>
bool SetSocketOption(std::intptr_t handle, int name, const Value& value) {
  return setsockopt(Native(handle), SOL_SOCKET, name, reinterpret_cast<const char*>(&value),
                    static_cast<SocketLength>(sizeof value)) == 0;
}

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

// The calls a connect with a deadline needs, one pair of implementations per system.
bool SetNonBlocking(std::intptr_t handle, bool enabled);
// The failed call was a non-blocking connect that is still under way.
bool ConnectInProgress();
// True once the connect under way has succeeded; false when it failed or `timeoutMs` passed.
bool WaitConnected(std::intptr_t handle, std::uint32_t timeoutMs);

}  // namespace tessaline::platform
