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
  ~COMTransport() override;

  bool Open() override;
  bool IsOpen() const override;
  bool Close() override;
  // A failed write closes the port (so a link exchange in progress gives up); the result is true.
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
  // Returns once bytes have arrived and the line has gone quiet for a few character times, or
  // after kSerialReadWaitMs on a silent line.
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override;
  std::string_view GetKind() const override { return kKindCom; }

  const std::string& GetEndpoint() const { return portName_; }
  std::uint32_t BaudRate() const { return baudRate_; }

 private:
  platform::SerialPort port_;
  std::uint32_t baudRate_;
  std::string portName_;
};

}  // namespace tessaline
