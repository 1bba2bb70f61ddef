// The serial-port transport: 8N1 at a chosen rate, reads bounded to 200 ms.
#pragma once

#include <cstdint>
#include <string>

#include "platform/serial_port.h"
#include "transport/transport.h"

namespace tessaline {

// Longest wait of one Read on a silent line.
inline constexpr std::uint32_t kSerialReadWaitMs = 200;

class COMTransport final : public Transport {
 public:
  COMTransport(std::string portName, std::uint32_t baudRate);

  bool Open() override;
  // "/dev/ttyUSB0: Permission denied".
  std::string OpenFailure() const override;
  bool IsOpen() const override;
  bool Close() override;
  // A failed write closes the port (so a link exchange in progress gives up) and counts as a
  // hang-up; the result is true.
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
  // Returns as soon as bytes have arrived, or with nothing after kSerialReadWaitMs on a silent
  // line. A device that hung up closes the port.
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override;
  std::string_view GetKind() const override { return kKindCom; }

  const std::string& GetEndpoint() const { return portName_; }
  std::uint32_t BaudRate() const { return baudRate_; }
  // The device went away since the last Open (a read saw a hang-up or a write failed), which
  // closed the port: tells "the port went away" from a unit that is merely silent.
  bool HungUp() const { return hungUp_; }
  // "/dev/ttyUSB0: hung up" once HungUp.
  std::string LossReason() const override;

 private:
  platform::SerialPort port_;
  std::uint32_t baudRate_;
  std::string portName_;
  bool hungUp_ = false;
};

}  // namespace tessaline
