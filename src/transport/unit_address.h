// UnitAddress: the value that names one unit (an IPv4 address or a serial device) and makes its
// transports.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "transport/transport.h"

namespace tessaline {

class UnitAddress {
 public:
  // An address in network byte order; the bootloader answers on UDP, the text port on TCP.
  static UnitAddress Network(std::uint32_t addressNetworkOrder);
  // A serial device ("/dev/ttyUSB0", "\\.\COM3", or a stable name of one: a /dev/serial link, a
  // Windows friendly name ending in "(COM3)"); both protocols run on the line itself.
  static UnitAddress Serial(std::string deviceName);

  bool IsNetwork() const { return !serial_; }
  bool IsSerial() const { return !IsNetwork(); }
  // Network order; 0 for a serial unit.
  std::uint32_t Ipv4() const { return ipv4_; }
  // The device to open, as given (a friendly name becomes its COM device); empty for a network
  // unit.
  const std::string& Device() const { return device_; }

  // The bootloader's transport: UDP port 6234, or the device at 115200 baud. Not opened yet.
  std::unique_ptr<Transport> MakeBootloaderTransport() const;

  // "ip:192.168.1.20" or "serial:/dev/ttyUSB0" with the device resolved, so every spelling of
  // one unit gives the same text.
  std::string Canonical() const;
  // What the user sees: the dotted address, or the port's stable name where the system gives one
  // (StablePortLabel), else the device name without "\\.\".
  std::string Label() const;

  friend bool operator==(const UnitAddress& a, const UnitAddress& b) {
    return a.Canonical() == b.Canonical();
  }

 private:
  UnitAddress(bool serial, std::uint32_t ipv4, std::string device)
      : serial_(serial), ipv4_(ipv4), device_(std::move(device)) {}
  bool serial_ = false;
  std::uint32_t ipv4_ = 0;  // network order; 0 for a serial unit
  std::string device_;      // empty for a network unit
};

// "192.168.1.20" for an address in network byte order.
std::string DottedIpv4(std::uint32_t addressNetworkOrder);
// Dotted-quad IPv4 text to an address in network byte order; none for anything else.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);

}  // namespace tessaline
