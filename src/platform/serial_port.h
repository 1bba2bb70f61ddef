// Serial port access: exclusive open, 8N1 at a chosen rate, bounded reads, candidate ports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaline::platform {

// A write of n bytes may take n milliseconds plus this much before it gives up.
inline constexpr std::uint32_t kSerialWriteSlackMs = 500;

// What one read brought in.
struct SerialReadResult {
  std::uint32_t count = 0;  // bytes placed in the buffer
  // The device went away (a USB adapter pulled, the far end of a pseudo-terminal closed): every
  // later read or write would fail at once too, so the port is no use until it is opened again.
  bool hungUp = false;
};

// What opening and configuring changed on a device, put back when it closes (one per platform).
struct LineStateToRestore;
struct LineStateDeleter {
  void operator()(LineStateToRestore* state) const noexcept;
};

// Owns one open serial device (a Win32 comm handle or a POSIX file descriptor). Move-only.
// Closing leaves the device as opening found it (line settings, exclusive mode, the driver's
// low-latency flag), so a program that shares the port without a lock is not locked out.
class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(SerialPort&& other) noexcept;
  SerialPort& operator=(SerialPort&& other) noexcept;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens `device` for reading and writing without sharing it ("\\.\COM3" on Windows, a device
  // path on Linux). A port held by another program, or by another SerialPort, fails to open.
  // Closes any port held first. On Linux it asks the driver for low latency (USB serial drivers
  // then hand over received bytes after 1 ms instead of their latency timer); a driver that
  // refuses changes nothing.
  bool Open(const std::string& device);
  // 8 data bits, no parity, 1 stop bit at `baudRate`; other line settings stay as the driver has
  // them.
  bool Configure(std::uint32_t baudRate);
  bool IsOpen() const;
  void Close() noexcept;
  // Why the last Open or Configure failed, in the system's words ("No such file or directory");
  // empty after one that worked.
  const std::string& LastError() const { return lastError_; }

  // Writes all bytes, blocking for at most count + kSerialWriteSlackMs milliseconds. False only
  // when the device reports an error; a write cut short by that time-out is not one (as on
  // Windows).
  bool Write(const std::uint8_t* bytes, std::uint32_t count);
  // Returns as soon as bytes have arrived, with those waiting (at most `capacity`); never waits
  // for the line to fall quiet, since the caller decodes as it reads. On a silent line it waits
  // `maxWaitMs` and brings nothing.
  SerialReadResult Read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t maxWaitMs);

 private:
  std::intptr_t handle_ = -1;
  // Windows: a named lock per device, held with the port, so that a second open fails even where
  // the driver does not enforce the no-sharing mode (Wine's serial ports).
  std::intptr_t deviceLock_ = 0;
  // The silent-line wait last given to the driver, where the driver keeps it (Windows).
  std::uint32_t driverWaitMs_ = 0;
  std::unique_ptr<LineStateToRestore, LineStateDeleter> restore_;
  std::string lastError_;
};

// Device names the port scan tries, in ascending order: "\\.\COM1" to "\\.\COM255" on Windows; on
// Linux the serial devices under /dev, or the colon-separated list in TESSALINE_SERIAL_PORTS when
// that variable is set (tests point the scan at pseudo-terminals this way).
std::vector<std::string> SerialPortCandidates();

}  // namespace tessaline::platform
