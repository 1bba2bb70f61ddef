// The unit's state behind every port: bootloader requests, text commands, discovery, logs, faults.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bootloader_engine.h"
#include "fault_injector.h"
#include "simulated_unit.h"
#include "text_protocol.h"

namespace tessaline::sim {

// Framed reply bytes to send, after waitMs of processing and injected delay.
struct Outgoing {
  std::vector<std::vector<std::uint8_t>> frames;
  std::uint32_t waitMs = 0;
};

// Thread-safe: every port thread calls in; one lock keeps the unit's answers in one order.
class UnitCore {
 public:
  explicit UnitCore(UnitConfig config);

  const UnitConfig& Config() const { return config_; }

  // One decoded request packet (command through CRC, CRC already checked).
  Outgoing HandleBootloaderPacket(std::span<const std::uint8_t> packet);
  // One complete text command; the reply text, if the application answers.
  std::optional<std::string> HandleTextCommand(const std::string& command);
  // One datagram to the discovery port; the reply, if it is the discovery request.
  std::optional<std::string> HandleDiscovery(std::span<const std::uint8_t> datagram);

  UnitMode Mode();
  void SetMode(UnitMode mode);

  std::vector<RequestLogEntry> RequestLog() const;
  std::vector<std::string> TextLog() const;
  FaultCounts Faults() const;
  std::uint32_t ApplicationVersion() const;
  std::uint32_t ApplicationBase() const;
  std::vector<std::uint8_t> ApplicationMemory() const;
  std::vector<std::uint8_t> FlashData() const;
  bool FactoryDefaultsRestored() const;
  bool UpdateFinished() const;
  std::string LogJson();

 private:
  void ResolvePendingSwitchLocked();
  void EnterModeLocked(UnitMode mode);
  std::uint32_t ElapsedMsLocked() const;
  std::vector<std::uint8_t> ReplyPacket(std::uint8_t command, std::optional<std::uint32_t> sequence,
                                        std::span<const std::uint8_t> data) const;

  const UnitConfig config_;
  mutable std::mutex mutex_;
  const std::chrono::steady_clock::time_point started_;
  UnitMode mode_;
  std::optional<std::chrono::steady_clock::time_point> bootloaderAt_;  // after "<SY,BR/>"
  BootloaderEngine engine_;
  FaultInjector faults_;
  TextResponder text_;
  // The last sequenced request: a request with the same number is its repeat.
  std::optional<std::uint32_t> lastSequence_;
  std::vector<std::uint8_t> lastReply_;  // unframed; empty when there was none
  std::vector<RequestLogEntry> requestLog_;
  std::vector<std::string> textLog_;
};

}  // namespace tessaline::sim
