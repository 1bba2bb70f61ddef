// IPv4 UDP and TCP sockets over Winsock 2: the calls that differ from BSD sockets.
#include "platform/sockets.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
// clang-format on

#include <utility>

#include "platform/native_socket.h"
#include "platform/win32/wide_text.h"

namespace tessaline::platform {

namespace {

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

}  // namespace

bool SetNonBlocking(std::intptr_t handle, bool enabled) {
  u_long mode = enabled ? 1 : 0;
  return ioctlsocket(Native(handle), FIONBIO, &mode) == 0;
}

bool ConnectInProgress() { return WSAGetLastError() == WSAEWOULDBLOCK; }

bool WaitConnected(std::intptr_t handle, std::uint32_t timeoutMs) {
  // A connect that fails shows in the exception set, one that succeeds in the write set.
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(Native(handle), &writable);
  FD_SET(Native(handle), &failed);
  timeval wait{static_cast<long>(timeoutMs / 1000u), static_cast<long>(timeoutMs % 1000u) * 1000};
  const int ready = select(0, nullptr, &writable, &failed, &wait);
  if (ready == 0) WSASetLastError(WSAETIMEDOUT);
  if (ready <= 0 || FD_ISSET(Native(handle), &failed)) return false;
  int error = 0;
  int size = sizeof error;
  if (getsockopt(Native(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) !=
      0) {
    return false;
  }
  WSASetLastError(error);
  return error == 0;
}

std::string LastSocketError() { return SystemErrorText(WSAGetLastError()); }

SocketLibrary::SocketLibrary() {
  WSADATA data{};
  WSAStartup(kWinsockVersion, &data);
}

SocketLibrary::~SocketLibrary() { WSACleanup(); }

bool Socket::Create(Type type) {
  Close();
  const SOCKET created = type == Type::Udp ? socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)
                                           : socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (created == INVALID_SOCKET) return false;
  handle_ = static_cast<std::intptr_t>(created);
  if (type == Type::Udp) {
    // Otherwise an ICMP "port unreachable" for an earlier send makes the next receive fail at
    // once instead of waiting its time-out.
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(created, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
             nullptr);
  }
  return true;
}

void Socket::Close() noexcept {
  if (handle_ != -1) closesocket(Native(std::exchange(handle_, -1)));
}

bool Socket::SetReceiveTimeout(std::uint32_t milliseconds) {
  // Zero would mean "wait for ever"; the smallest real wait is the closest meaning.
  const DWORD value = milliseconds == 0 ? 1 : milliseconds;
  return SetSocketOption(handle_, SO_RCVTIMEO, value);
}

std::int32_t Socket::ReceiveFrom(std::uint8_t* buffer, std::uint32_t capacity, Ipv4Endpoint* from) {
  sockaddr_in sender{};
  int size = sizeof sender;
  // A datagram larger than the capacity fails with WSAEMSGSIZE, like a time-out.
  const int got = recvfrom(Native(handle_), reinterpret_cast<char*>(buffer), capacity, 0,
                           AsGeneric(sender), &size);
  if (got == SOCKET_ERROR) return -1;
  if (from != nullptr) *from = EndpointOf(sender);
  return got;
}

Socket Socket::Accept(Ipv4Endpoint* from) {
  sockaddr_in peer{};
  int size = sizeof peer;
  Socket accepted;
  const SOCKET socket = accept(Native(handle_), AsGeneric(peer), &size);
  if (socket == INVALID_SOCKET) return accepted;
  accepted.handle_ = static_cast<std::intptr_t>(socket);
  if (from != nullptr) *from = EndpointOf(peer);
  return accepted;
}

std::int32_t Socket::Receive(std::uint8_t* buffer, std::uint32_t capacity) {
  const int got = recv(Native(handle_), reinterpret_cast<char*>(buffer), capacity, 0);
  return got == SOCKET_ERROR ? -1 : got;
}

}  // namespace tessaline::platform
