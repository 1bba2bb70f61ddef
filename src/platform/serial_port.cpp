// SerialPort's ownership of its handle (and, on Windows, its device lock and the line state to
// restore): moved, and closed with the object.
#include "platform/serial_port.h"

#include <utility>

namespace tessaline::platform {

SerialPort::~SerialPort() { Close(); }

SerialPort::SerialPort(SerialPort&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      deviceLock_(std::exchange(other.deviceLock_, 0)),
      driverWaitMs_(other.driverWaitMs_),
      restore_(std::move(other.restore_)) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    deviceLock_ = std::exchange(other.deviceLock_, 0);
    driverWaitMs_ = other.driverWaitMs_;
    restore_ = std::move(other.restore_);
  }
  return *this;
}

bool SerialPort::IsOpen() const { return handle_ != -1; }

}  // namespace tessaline::platform
