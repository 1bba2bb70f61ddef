// The serial ports found by the last scan, addressed by index, and the baud-rate table.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tessaline {

inline constexpr std::size_t kComPortTableSize = 255;
inline constexpr std::array<std::uint32_t, 6> BaudRateTable{4800,  9600,  19200,
                                                            38400, 57600, 115200};
// Rate of every transport that carries the bootloader packet protocol.
inline constexpr std::uint32_t kBootloaderBaudRate = 115200;

// Process-wide table of openable serial ports in ascending order. Each call is atomic; keeping a
// scan away from a discovery worker or a job that uses the table is the front end's job.
class ComPortTableType {
 public:
  // Rebuilds the table from the platform's candidate ports, keeping those that open exclusively.
  void ScanComPorts();
  // Same, from an explicit candidate list (tests).
  void ScanComPorts(const std::vector<std::string>& candidates);

  std::size_t Count() const;
  // Empty text for an index past the last entry.
  std::string Entry(std::size_t index) const;
  std::vector<std::string> Entries() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

ComPortTableType& ComPortTable();

// What the user sees for a port: the device name without a leading "\\.\" (so "\\.\COM3" is COM3).
std::string PortLabel(const std::string& deviceName);
// The name that survives replugging where the system gives one ("/dev/serial/by-id/usb-FTDI_…",
// "USB Serial Port (COM3)"), otherwise PortLabel.
std::string StablePortLabel(const std::string& deviceName);

}  // namespace tessaline
