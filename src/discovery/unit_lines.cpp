// Reading units named one a line.
#include "discovery/unit_lines.h"

#include <map>

#include "platform/network_interfaces.h"
#include "platform/sockets.h"

namespace tessaline {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Text made only of digits and dots was meant as an address, never as a device.
bool LooksLikeAddress(std::string_view text) {
  return text.find_first_not_of("0123456789.") == std::string_view::npos;
}

// "/dev/ttyUSB0", "\\.\COM3", "COM3": a path, or a Windows port by its name; one word.
bool LooksLikeDevice(std::string_view text) {
  if (text.find_first_of(" \t") != std::string_view::npos) return false;
  if (text.find_first_of("/\\") != std::string_view::npos) return true;
  const bool com = text.size() > 3 && (text[0] == 'C' || text[0] == 'c') &&
                   (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm');
  return com && text.find_first_not_of("0123456789", 3) == std::string_view::npos;
}

}  // namespace

std::optional<AddressRefusal> UnitAddressRefusal(std::uint32_t address,
                                                 const std::optional<InterfaceTable>& table) {
  if (address == 0) return AddressRefusal::NoHost;
  if (address == 0xFFFFFFFFu) return AddressRefusal::Broadcast;
  if (address == platform::Ipv4FromOctets(127, 0, 0, 1)) return AddressRefusal::ThisComputer;
  if (!IsUsableUnitAddress(address, table)) return AddressRefusal::NetworkBroadcast;
  return std::nullopt;
}

std::optional<AddressRefusal> UnitAddressRefusal(std::uint32_t address) {
  if (address == 0 || address == 0xFFFFFFFFu ||
      address == platform::Ipv4FromOctets(127, 0, 0, 1)) {
    return UnitAddressRefusal(address, std::nullopt);
  }
  return UnitAddressRefusal(address, platform::ReadLocalInterfaces());
}

std::vector<UnitLine> ReadUnitLines(std::string_view text) {
  // Editors on Windows save UTF-8 with a byte-order mark.
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::vector<UnitLine> lines;
  std::map<std::string, std::size_t> firstLines;  // canonical unit -> the line naming it first
  std::optional<std::optional<InterfaceTable>> interfaces;  // read once, at the first address
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const auto end = text.find('\n');
    std::string_view entry = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    entry = Trimmed(entry.substr(0, entry.find('#')));
    if (entry.empty()) continue;
    UnitLine line;
    line.number = number;
    line.text = std::string(entry);
    if (LooksLikeAddress(entry)) {
      if (const auto address = ParseIpv4(entry)) {
        if (!interfaces) interfaces = platform::ReadLocalInterfaces();
        line.refusal = UnitAddressRefusal(*address, *interfaces);
        if (line.refusal) {
          line.fault = UnitLineFault::RefusedAddress;
        } else {
          line.unit = UnitAddress::Network(*address);
        }
      } else {
        line.fault = UnitLineFault::NotAnAddress;
      }
    } else if (LooksLikeDevice(entry)) {
      line.unit = UnitAddress::Serial(line.text);
    } else {
      line.fault = UnitLineFault::NotAUnit;
    }
    if (line.unit) {
      const auto [at, first] = firstLines.emplace(line.unit->Canonical(), number);
      if (!first) line.firstNamedAt = at->second;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace tessaline
