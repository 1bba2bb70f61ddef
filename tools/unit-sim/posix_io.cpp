// POSIX handles for the simulator.
#include "posix_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessaline::sim {
namespace {

std::string Reason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

struct RateCode {
  speed_t code;
  std::uint32_t bitsPerSecond;
};
constexpr RateCode kRates[] = {
    {B300, 300},       {B600, 600},       {B1200, 1200},    {B2400, 2400},   {B4800, 4800},
    {B9600, 9600},     {B19200, 19200},   {B38400, 38400},  {B57600, 57600}, {B115200, 115200},
    {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset(other.fd_);
    other.fd_ = -1;
  }
  return *this;
}

void UniqueFd::Reset(int fd) noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

StopSignal::StopSignal() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) == 0) {
    readEnd_.Reset(ends[0]);
    writeEnd_.Reset(ends[1]);
  }
}

void StopSignal::Raise() {
  if (Raised()) return;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(writeEnd_.Get(), &byte, 1);
}

bool StopSignal::Raised() const {
  pollfd entry{readEnd_.Get(), POLLIN, 0};
  return ::poll(&entry, 1, 0) > 0;
}

WaitResult WaitReadable(int fd, const StopSignal& stop, int timeoutMs) {
  pollfd entries[2] = {{stop.WaitFd(), POLLIN, 0}, {fd, POLLIN, 0}};
  for (;;) {
    const int ready = ::poll(entries, 2, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return WaitResult::Stopped;
    if (entries[0].revents != 0) return WaitResult::Stopped;
    if (ready == 0) return WaitResult::TimedOut;
    return WaitResult::Ready;
  }
}

bool SleepUnlessStopped(const StopSignal& stop, std::uint32_t milliseconds) {
  if (milliseconds == 0) return !stop.Raised();
  pollfd entry{stop.WaitFd(), POLLIN, 0};
  int result;
  do {
    result = ::poll(&entry, 1, static_cast<int>(milliseconds));
  } while (result < 0 && errno == EINTR);
  return result == 0;
}

std::optional<in_addr> ParseIpv4(const std::string& text) {
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return {};
  return address;
}

std::string FormatIpv4(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

UniqueFd BindUdp(in_addr address, std::uint16_t port, bool reuseAddress, std::string* error) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) {
    *error = Reason("socket");
    return {};
  }
  const int on = 1;
  if (reuseAddress) ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr = address;
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    *error = Reason(("bind UDP " + FormatIpv4(address) + ":" + std::to_string(port)).c_str());
    return {};
  }
  return fd;
}

UniqueFd ListenTcp(in_addr address, std::uint16_t port, std::string* error) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) {
    *error = Reason("socket");
    return {};
  }
  const int on = 1;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr = address;
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(fd.Get(), 8) != 0) {
    *error = Reason(("listen TCP " + FormatIpv4(address) + ":" + std::to_string(port)).c_str());
    return {};
  }
  return fd;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

std::optional<PseudoTerminal> OpenPseudoTerminal(std::string* error) {
  PseudoTerminal pty;
  pty.master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.master.Valid() || ::grantpt(pty.master.Get()) != 0 ||
      ::unlockpt(pty.master.Get()) != 0) {
    *error = Reason("posix_openpt");
    return {};
  }
  char path[128] = {};
  if (::ptsname_r(pty.master.Get(), path, sizeof path) != 0) {
    *error = Reason("ptsname");
    return {};
  }
  pty.slavePath = path;
  pty.slave.Reset(::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.slave.Valid()) {
    *error = Reason("open pty slave");
    return {};
  }
  termios settings{};
  if (::tcgetattr(pty.slave.Get(), &settings) != 0) {
    *error = Reason("tcgetattr");
    return {};
  }
  ::cfmakeraw(&settings);
  ::cfsetispeed(&settings, B115200);
  ::cfsetospeed(&settings, B115200);
  // TCSANOW: a flush would drop bytes the updater may already have written.
  if (::tcsetattr(pty.slave.Get(), TCSANOW, &settings) != 0) {
    *error = Reason("tcsetattr");
    return {};
  }
  const int flags = ::fcntl(pty.master.Get(), F_GETFL);
  ::fcntl(pty.master.Get(), F_SETFL, flags | O_NONBLOCK);
  return pty;
}

std::uint32_t LineRate8N1(int slaveFd) {
  termios settings{};
  if (::tcgetattr(slaveFd, &settings) != 0) return 0;
  if ((settings.c_cflag & CSIZE) != CS8 || (settings.c_cflag & (PARENB | CSTOPB)) != 0) return 0;
  const speed_t code = ::cfgetospeed(&settings);
  for (const RateCode& rate : kRates) {
    if (rate.code == code) return rate.bitsPerSecond;
  }
  return 0;
}

}  // namespace tessaline::sim
