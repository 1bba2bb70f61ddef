// The serial-port transport over platform::SerialPort.
#include "transport/com_transport.h"

#include <utility>

namespace tessaline {

COMTransport::COMTransport(std::string portName, std::uint32_t baudRate)
    : baudRate_(baudRate), portName_(std::move(portName)) {}

bool COMTransport::Open() {
  port_.Close();
  hungUp_ = false;
  if (port_.Open(portName_) && !port_.Configure(baudRate_)) port_.Close();
  return port_.IsOpen();
}

std::string COMTransport::OpenFailure() const {
  return port_.LastError().empty() ? std::string() : portName_ + ": " + port_.LastError();
}

std::string COMTransport::LossReason() const {
  if (!hungUp_) return {};
  return portName_ + ": " + (port_.LastError().empty() ? "hung up" : port_.LastError());
}

bool COMTransport::IsOpen() const { return port_.IsOpen(); }

bool COMTransport::Close() {
  port_.Close();
  return true;
}

bool COMTransport::Write(const std::uint8_t* bytes, std::uint32_t count) {
  if (port_.IsOpen() && !port_.Write(bytes, count)) {
    port_.Close();
    hungUp_ = true;
  }
  return true;
}

std::uint32_t COMTransport::Read(std::uint8_t* buffer, std::uint32_t capacity) {
  const platform::SerialReadResult result = port_.Read(buffer, capacity, kSerialReadWaitMs);
  // A gone device answers every read at once; closing stops a waiting link from spinning on it.
  if (result.hungUp) {
    port_.Close();
    hungUp_ = true;
  }
  return result.count;
}

}  // namespace tessaline
