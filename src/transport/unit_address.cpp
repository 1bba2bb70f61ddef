// UnitAddress: naming a unit and making its bootloader and text transports.
#include "transport/unit_address.h"

#include <charconv>
#include <cstring>

#include "platform/device_path.h"
#include "platform/sockets.h"
#include "transport/com_port_table.h"
#include "transport/com_transport.h"
#include "transport/ethernet_transport.h"

namespace tessaline {

UnitAddress UnitAddress::Network(std::uint32_t addressNetworkOrder) {
  return UnitAddress(false, addressNetworkOrder, {});
}

UnitAddress UnitAddress::Serial(std::string deviceName) {
  return UnitAddress(true, 0, platform::DeviceForPortName(deviceName));
}

std::unique_ptr<Transport> UnitAddress::MakeBootloaderTransport() const {
  if (IsNetwork()) return std::make_unique<EthernetTransport>(Ipv4());
  return std::make_unique<COMTransport>(Device(), kBootloaderBaudRate);
}

std::string UnitAddress::Canonical() const {
  if (IsNetwork()) return "ip:" + DottedIpv4(Ipv4());
  return "serial:" + platform::CanonicalDevicePath(Device());
}

std::string UnitAddress::Label() const {
  return IsNetwork() ? DottedIpv4(Ipv4()) : StablePortLabel(Device());
}

std::string DottedIpv4(std::uint32_t addressNetworkOrder) {
  std::uint8_t octets[4];
  std::memcpy(octets, &addressNetworkOrder, sizeof octets);
  return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
         std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
  std::uint8_t octets[4] = {};
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (text.empty() || text.front() != '.') return std::nullopt;
      text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    unsigned value = 0;
    const auto [at, code] = std::from_chars(text.data(), text.data() + text.size(), value);
    const auto digits = static_cast<std::size_t>(at - text.data());
    if (code != std::errc{} || value > 255 || digits > 3) return std::nullopt;
    octets[i] = static_cast<std::uint8_t>(value);
    text.remove_prefix(digits);
  }
  if (!text.empty()) return std::nullopt;
  return platform::Ipv4FromOctets(octets[0], octets[1], octets[2], octets[3]);
}

}  // namespace tessaline
