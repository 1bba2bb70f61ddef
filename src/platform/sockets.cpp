// Socket's ownership of its one handle, and the calls BSD sockets and Winsock make alike.
#include "platform/sockets.h"

#include <utility>

#include "platform/native_socket.h"

namespace tessaline::platform {

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      receiveTimeoutMs_(std::exchange(other.receiveTimeoutMs_, 0)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    receiveTimeoutMs_ = std::exchange(other.receiveTimeoutMs_, 0);
  }
  return *this;
}

bool Socket::IsValid() const { return handle_ != -1; }

bool Socket::SetBroadcast(bool enabled) {
  return SetSocketOption(handle_, SO_BROADCAST, int{enabled ? 1 : 0});
}

bool Socket::SetLingerOff() { return SetSocketOption(handle_, SO_LINGER, linger{0, 0}); }

bool Socket::SetReuseAddress(bool enabled) {
  return SetSocketOption(handle_, SO_REUSEADDR, int{enabled ? 1 : 0});
}

bool Socket::Bind(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in local = MakeAddress(address, port);
  return bind(Native(handle_), AsGeneric(local), sizeof local) == 0;
}

std::optional<Ipv4Endpoint> Socket::LocalEndpoint() const {
  sockaddr_in local{};
  SocketLength size = sizeof local;
  if (getsockname(Native(handle_), AsGeneric(local), &size) != 0) return std::nullopt;
  return EndpointOf(local);
}

bool Socket::SendTo(std::uint32_t address, std::uint16_t port, const std::uint8_t* bytes,
                    std::uint32_t count, bool dontRoute) {
  const sockaddr_in destination = MakeAddress(address, port);
  const int flags = kNoSignal | (dontRoute ? MSG_DONTROUTE : 0);
  return sendto(Native(handle_), reinterpret_cast<const char*>(bytes), count, flags,
                AsGeneric(destination), sizeof destination) >= 0;
}

bool Socket::Connect(std::uint32_t address, std::uint16_t port, std::uint32_t timeoutMs) {
  const sockaddr_in peer = MakeAddress(address, port);
  // A blocking connect to a host that drops the request waits for minutes.
  if (!SetNonBlocking(handle_, true)) return false;
  const bool connected = connect(Native(handle_), AsGeneric(peer), sizeof peer) == 0 ||
                         (ConnectInProgress() && WaitConnected(handle_, timeoutMs));
  return SetNonBlocking(handle_, false) && connected;
}

bool Socket::Listen(int backlog) { return listen(Native(handle_), backlog) == 0; }

std::int32_t Socket::Send(const std::uint8_t* bytes, std::uint32_t count) {
  const auto sent = send(Native(handle_), reinterpret_cast<const char*>(bytes), count, kNoSignal);
  return sent < 0 ? -1 : static_cast<std::int32_t>(sent);
}

}  // namespace tessaline::platform
