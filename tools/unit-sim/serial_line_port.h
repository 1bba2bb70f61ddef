// The unit's RS232 line as a pseudo-terminal: bootloader frames at 115200, text at the app's rate.
#pragma once

#include <chrono>
#include <string>

#include "posix_io.h"
#include "unit_core.h"

namespace tessaline::sim {

class SerialLinePort {
 public:
  SerialLinePort(UnitCore& core, const StopSignal& stop) : core_(core), stop_(stop) {}
  ~SerialLinePort();
  SerialLinePort(const SerialLinePort&) = delete;
  SerialLinePort& operator=(const SerialLinePort&) = delete;

  bool Open(std::string* error);
  void Run();
  const std::string& SlavePath() const { return pty_.slavePath; }

 private:
  using Clock = std::chrono::steady_clock;
  // Time one byte takes on the line: start bit, 8 data bits, stop bit.
  Clock::duration ByteTime() const;
  void WritePaced(const std::uint8_t* bytes, std::size_t count);
  bool WriteAll(const std::uint8_t* bytes, std::size_t count);

  UnitCore& core_;
  const StopSignal& stop_;
  PseudoTerminal pty_;
  bool linked_ = false;
};

}  // namespace tessaline::sim
