// POSIX handles for the simulator: owned descriptors, a stop signal, sockets and the
// pseudo-terminal.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tessaline::sim {

// One file descriptor, closed on destruction. Move-only.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset(int fd = -1) noexcept;

 private:
  int fd_ = -1;
};

// Raised once to wake every port thread; a pipe whose read end turns readable.
class StopSignal {
 public:
  StopSignal();
  void Raise();
  bool Raised() const;
  int WaitFd() const { return readEnd_.Get(); }

 private:
  UniqueFd readEnd_;
  UniqueFd writeEnd_;
};

enum class WaitResult { Ready, Stopped, TimedOut };
// Waits until `fd` is readable, the stop signal is raised, or timeoutMs passes (-1: no limit).
WaitResult WaitReadable(int fd, const StopSignal& stop, int timeoutMs);
// Sleeps; false when the stop signal cut it short.
bool SleepUnlessStopped(const StopSignal& stop, std::uint32_t milliseconds);

std::optional<in_addr> ParseIpv4(const std::string& text);
std::string FormatIpv4(in_addr address);

UniqueFd BindUdp(in_addr address, std::uint16_t port, bool reuseAddress, std::string* error);
UniqueFd ListenTcp(in_addr address, std::uint16_t port, std::string* error);
std::uint16_t LocalPort(int fd);

// A raw pseudo-terminal; the simulator keeps a slave descriptor open so the master never sees a
// hang-up between the updater's opens, and reads the line settings the updater chose from it.
struct PseudoTerminal {
  UniqueFd master;
  UniqueFd slave;
  std::string slavePath;
};
std::optional<PseudoTerminal> OpenPseudoTerminal(std::string* error);

// The line's rate in bits per second as the updater set it, 0 when the frame format is not 8N1.
std::uint32_t LineRate8N1(int slaveFd);

}  // namespace tessaline::sim
