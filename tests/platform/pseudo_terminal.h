// A pseudo-terminal pair for serial tests on Linux; the test plays the unit on the master side.
#pragma once

#include <pty.h>
#include <unistd.h>

#include <array>
#include <string>

#include "platform/clock.h"

namespace tessaline::testing {

class PseudoTerminal {
 public:
  PseudoTerminal() {
    std::array<char, 128> name{};
    if (openpty(&master_, &slave_, name.data(), nullptr, nullptr) == 0) path_ = name.data();
  }
  ~PseudoTerminal() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& Path() const { return path_; }
  int Slave() const { return slave_; }
  bool Send(const std::string& bytes) const {
    return write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Reads until `count` bytes have come or a second has passed.
  std::string Receive(std::size_t count) const {
    std::string seen;
    const std::uint32_t start = platform::TickCount();
    while (seen.size() < count && platform::TicksBetween(start, platform::TickCount()) < 1000) {
      std::array<char, 256> buffer{};
      const ssize_t got = read(master_, buffer.data(), buffer.size());
      if (got > 0) seen.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return seen;
  }
  // The unit hangs up: writes on the slave side fail from now on.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace tessaline::testing
