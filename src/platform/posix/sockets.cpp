// IPv4 UDP and TCP sockets over the BSD socket API: the calls that differ from Winsock.
#include "platform/sockets.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/clock.h"
#include "platform/native_socket.h"

namespace tessaline::platform {

namespace {

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

}  // namespace

bool SetNonBlocking(std::intptr_t handle, bool enabled) {
  const int flags = fcntl(Native(handle), F_GETFL);
  if (flags < 0) return false;
  return fcntl(Native(handle), F_SETFL, enabled ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

bool ConnectInProgress() { return errno == EINPROGRESS; }

bool WaitConnected(std::intptr_t handle, std::uint32_t timeoutMs) {
  const std::uint32_t start = TickCount();
  for (;;) {
    const std::uint32_t elapsed = TicksBetween(start, TickCount());
    pollfd entry{Native(handle), POLLOUT, 0};
    const int ready =
        poll(&entry, 1, static_cast<int>(elapsed >= timeoutMs ? 0 : timeoutMs - elapsed));
    if (ready == 0) {
      errno = ETIMEDOUT;
      return false;
    }
    if (ready > 0) break;
    if (errno != EINTR) return false;
  }
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(Native(handle), SOL_SOCKET, SO_ERROR, &error, &size) != 0) return false;
  errno = error;
  return error == 0;
}

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
  if (handle_ >= 0) close(Native(std::exchange(handle_, -1)));
  receiveTimeoutMs_ = 0;
}

bool Socket::SetReceiveTimeout(std::uint32_t milliseconds) {
  // Zero would mean "wait for ever" here; the smallest real wait is the closest meaning.
  if (milliseconds == 0) milliseconds = 1;
  timeval value{static_cast<time_t>(milliseconds / 1000u),
                static_cast<suseconds_t>(milliseconds % 1000u) * 1000};
  if (!SetSocketOption(handle_, SO_RCVTIMEO, value)) return false;
  receiveTimeoutMs_ = milliseconds;
  return true;
}

std::int32_t Socket::ReceiveFrom(std::uint8_t* buffer, std::uint32_t capacity, Ipv4Endpoint* from) {
  sockaddr_in sender{};
  iovec part{buffer, capacity};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  if (!WaitReadable(Native(handle_), receiveTimeoutMs_)) return -1;
  const ssize_t got = recvmsg(Native(handle_), &message, 0);
  // A datagram cut to the capacity is an error, as Winsock reports it.
  if (got < 0 || (message.msg_flags & MSG_TRUNC) != 0) return -1;
  if (from != nullptr) *from = EndpointOf(sender);
  return static_cast<std::int32_t>(got);
}

Socket Socket::Accept(Ipv4Endpoint* from) {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  Socket accepted;
  const int fd = accept4(Native(handle_), AsGeneric(peer), &size, SOCK_CLOEXEC);
  if (fd < 0) return accepted;
  accepted.handle_ = fd;
  if (from != nullptr) *from = EndpointOf(peer);
  return accepted;
}

std::int32_t Socket::Receive(std::uint8_t* buffer, std::uint32_t capacity) {
  if (!WaitReadable(Native(handle_), receiveTimeoutMs_)) return -1;
  const ssize_t got = recv(Native(handle_), buffer, capacity, 0);
  return got < 0 ? -1 : static_cast<std::int32_t>(got);
}

}  // namespace tessaline::platform
