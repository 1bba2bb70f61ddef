// The unit's RS232 line as a pseudo-terminal: bootloader frames at 115200, text at the app's rate.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "posix_io.h"
#include "simulated_unit.h"
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
  SerialLineFigures Figures() const;

 private:
  using Clock = std::chrono::steady_clock;
  // Time one byte takes on the line: start bit, 8 data bits, stop bit.
  Clock::duration ByteTime() const;
  void WritePaced(const std::uint8_t* bytes, std::size_t count);
  bool WriteAll(const std::uint8_t* bytes, std::size_t count);
  // Notes a reply (or text answer) whose last byte left at `at`.
  void NoteReplyEnd(std::size_t count, Clock::time_point at);
  // Notes bytes reaching the unit at `at`; the first after a reply ends the host's turnaround.
  void NoteReceived(std::size_t count, Clock::time_point at);

  UnitCore& core_;
  const StopSignal& stop_;
  PseudoTerminal pty_;
  bool linked_ = false;
  Clock::time_point lineFreeAt_{};  // when the unit's last byte has left on the line

  mutable std::mutex figuresLock_;
  std::uint64_t bytesToUnit_ = 0;
  std::uint64_t bytesFromUnit_ = 0;
  std::optional<Clock::time_point> replyEndedAt_;  // a reply's last byte left; no request since
  std::vector<Clock::duration> turnarounds_;
};

}  // namespace tessaline::sim
