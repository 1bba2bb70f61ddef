// IPv4 UDP and TCP sockets over Winsock 2.
#include "platform/sockets.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
// clang-format on

#include <utility>

#include "platform/ipv4_sockaddr.h"
#include "platform/win32/wide_text.h"

namespace tessaline::platform {

namespace {

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

SOCKET AsSocket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

template <typename Value>
bool SetOption(SOCKET socket, int level, int name, const Value& value) {
  return setsockopt(socket, level, name, reinterpret_cast<const char*>(&value),
                    static_cast<int>(sizeof value)) != SOCKET_ERROR;
}

int Length(std::uint32_t count) { return static_cast<int>(count); }

}  // namespace

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
  if (handle_ != -1) closesocket(AsSocket(std::exchange(handle_, -1)));
}

bool Socket::SetReceiveTimeout(std::uint32_t milliseconds) {
  // Zero would mean "wait for ever"; the smallest real wait is the closest meaning.
  const DWORD value = milliseconds == 0 ? 1 : milliseconds;
  return SetOption(AsSocket(handle_), SOL_SOCKET, SO_RCVTIMEO, value);
}

bool Socket::SetBroadcast(bool enabled) {
  const BOOL value = enabled ? TRUE : FALSE;
  return SetOption(AsSocket(handle_), SOL_SOCKET, SO_BROADCAST, value);
}

bool Socket::SetLingerOff() {
  const linger value{0, 0};
  return SetOption(AsSocket(handle_), SOL_SOCKET, SO_LINGER, value);
}

bool Socket::SetReuseAddress(bool enabled) {
  const BOOL value = enabled ? TRUE : FALSE;
  return SetOption(AsSocket(handle_), SOL_SOCKET, SO_REUSEADDR, value);
}

bool Socket::Bind(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in local = MakeAddress(address, port);
  return bind(AsSocket(handle_), AsGeneric(local), sizeof local) != SOCKET_ERROR;
}

std::optional<Ipv4Endpoint> Socket::LocalEndpoint() const {
  sockaddr_in local{};
  int size = sizeof local;
  if (getsockname(AsSocket(handle_), AsGeneric(local), &size) == SOCKET_ERROR) return std::nullopt;
  return EndpointOf(local);
}

bool Socket::SendTo(std::uint32_t address, std::uint16_t port, const std::uint8_t* bytes,
                    std::uint32_t count, bool dontRoute) {
  const sockaddr_in destination = MakeAddress(address, port);
  return sendto(AsSocket(handle_), reinterpret_cast<const char*>(bytes), Length(count),
                dontRoute ? MSG_DONTROUTE : 0, AsGeneric(destination),
                sizeof destination) != SOCKET_ERROR;
}

std::int32_t Socket::ReceiveFrom(std::uint8_t* buffer, std::uint32_t capacity, Ipv4Endpoint* from) {
  sockaddr_in sender{};
  int size = sizeof sender;
  // A datagram larger than the capacity fails with WSAEMSGSIZE, like a time-out.
  const int got = recvfrom(AsSocket(handle_), reinterpret_cast<char*>(buffer), Length(capacity), 0,
                           AsGeneric(sender), &size);
  if (got == SOCKET_ERROR) return -1;
  if (from != nullptr) *from = EndpointOf(sender);
  return got;
}

bool Socket::Connect(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in peer = MakeAddress(address, port);
  if (connect(AsSocket(handle_), AsGeneric(peer), sizeof peer) != SOCKET_ERROR) return true;
  WSAGetLastError();
  return false;
}

bool Socket::Listen(int backlog) { return listen(AsSocket(handle_), backlog) != SOCKET_ERROR; }

Socket Socket::Accept(Ipv4Endpoint* from) {
  sockaddr_in peer{};
  int size = sizeof peer;
  Socket accepted;
  const SOCKET socket = accept(AsSocket(handle_), AsGeneric(peer), &size);
  if (socket == INVALID_SOCKET) return accepted;
  accepted.handle_ = static_cast<std::intptr_t>(socket);
  if (from != nullptr) *from = EndpointOf(peer);
  return accepted;
}

std::int32_t Socket::Send(const std::uint8_t* bytes, std::uint32_t count) {
  const int sent = send(AsSocket(handle_), reinterpret_cast<const char*>(bytes), Length(count), 0);
  return sent == SOCKET_ERROR ? -1 : sent;
}

std::int32_t Socket::Receive(std::uint8_t* buffer, std::uint32_t capacity) {
  const int got = recv(AsSocket(handle_), reinterpret_cast<char*>(buffer), Length(capacity), 0);
  return got == SOCKET_ERROR ? -1 : got;
}

}  // namespace tessaline::platform
