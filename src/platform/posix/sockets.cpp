// IPv4 UDP and TCP sockets over the BSD socket API.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/clock.h"
#include "platform/ipv4_sockaddr.h"

namespace tessaline::platform {

namespace {

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

// True when input is waiting within `timeoutMs` (0: do not wait here, let the call block).
bool WaitReadable(int fd, std::uint32_t timeoutMs) {
  if (timeoutMs == 0) return true;
  const std::uint32_t start = TickCount();
  for (;;) {
    const std::uint32_t elapsed = TicksBetween(start, TickCount());
    pollfd entry{fd, POLLIN, 0};
    const int ready =
        poll(&entry, 1, static_cast<int>(elapsed >= timeoutMs ? 0 : timeoutMs - elapsed));
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return true;  // the receive call then reports the error
  }
}

bool SetOption(int fd, int level, int name, const void* value, socklen_t size) {
  return setsockopt(fd, level, name, value, size) == 0;
}

bool SetFlag(int fd, int name, bool enabled) {
  const int value = enabled ? 1 : 0;
  return SetOption(fd, SOL_SOCKET, name, &value, sizeof value);
}

}  // namespace

std::string LastSocketError() { return std::system_category().message(errno); }

SocketLibrary::SocketLibrary() = default;
SocketLibrary::~SocketLibrary() = default;

bool Socket::Create(Type type) {
  Close();
  const int fd = type == Type::Udp ? socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP)
                                   : socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

void Socket::Close() noexcept {
  if (handle_ >= 0) close(Descriptor(std::exchange(handle_, -1)));
  receiveTimeoutMs_ = 0;
}

bool Socket::SetReceiveTimeout(std::uint32_t milliseconds) {
  // Zero would mean "wait for ever" here; the smallest real wait is the closest meaning.
  if (milliseconds == 0) milliseconds = 1;
  timeval value{static_cast<time_t>(milliseconds / 1000u),
                static_cast<suseconds_t>(milliseconds % 1000u) * 1000};
  if (!SetOption(Descriptor(handle_), SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value)) return false;
  receiveTimeoutMs_ = milliseconds;
  return true;
}

bool Socket::SetBroadcast(bool enabled) {
  return SetFlag(Descriptor(handle_), SO_BROADCAST, enabled);
}

bool Socket::SetLingerOff() {
  const linger value{0, 0};
  return SetOption(Descriptor(handle_), SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

bool Socket::SetReuseAddress(bool enabled) {
  return SetFlag(Descriptor(handle_), SO_REUSEADDR, enabled);
}

bool Socket::Bind(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in local = MakeAddress(address, port);
  return bind(Descriptor(handle_), AsGeneric(local), sizeof local) == 0;
}

std::optional<Ipv4Endpoint> Socket::LocalEndpoint() const {
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (getsockname(Descriptor(handle_), AsGeneric(local), &size) != 0) return std::nullopt;
  return EndpointOf(local);
}

bool Socket::SendTo(std::uint32_t address, std::uint16_t port, const std::uint8_t* bytes,
                    std::uint32_t count, bool dontRoute) {
  const sockaddr_in destination = MakeAddress(address, port);
  const int flags = MSG_NOSIGNAL | (dontRoute ? MSG_DONTROUTE : 0);
  return sendto(Descriptor(handle_), bytes, count, flags, AsGeneric(destination),
                sizeof destination) >= 0;
}

std::int32_t Socket::ReceiveFrom(std::uint8_t* buffer, std::uint32_t capacity, Ipv4Endpoint* from) {
  sockaddr_in sender{};
  iovec part{buffer, capacity};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  if (!WaitReadable(Descriptor(handle_), receiveTimeoutMs_)) return -1;
  const ssize_t got = recvmsg(Descriptor(handle_), &message, 0);
  // A datagram cut to the capacity is an error, as Winsock reports it.
  if (got < 0 || (message.msg_flags & MSG_TRUNC) != 0) return -1;
  if (from != nullptr) *from = EndpointOf(sender);
  return static_cast<std::int32_t>(got);
}

bool Socket::Connect(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in peer = MakeAddress(address, port);
  return connect(Descriptor(handle_), AsGeneric(peer), sizeof peer) == 0;
}

bool Socket::Listen(int backlog) { return listen(Descriptor(handle_), backlog) == 0; }

Socket Socket::Accept(Ipv4Endpoint* from) {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  Socket accepted;
  const int fd = accept4(Descriptor(handle_), AsGeneric(peer), &size, SOCK_CLOEXEC);
  if (fd < 0) return accepted;
  accepted.handle_ = fd;
  if (from != nullptr) *from = EndpointOf(peer);
  return accepted;
}

std::int32_t Socket::Send(const std::uint8_t* bytes, std::uint32_t count) {
  const ssize_t sent = send(Descriptor(handle_), bytes, count, MSG_NOSIGNAL);
  return sent < 0 ? -1 : static_cast<std::int32_t>(sent);
}

std::int32_t Socket::Receive(std::uint8_t* buffer, std::uint32_t capacity) {
  if (!WaitReadable(Descriptor(handle_), receiveTimeoutMs_)) return -1;
  const ssize_t got = recv(Descriptor(handle_), buffer, capacity, 0);
  return got < 0 ? -1 : static_cast<std::int32_t>(got);
}

}  // namespace tessaline::platform
