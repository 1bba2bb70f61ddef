// The unit named on the command line.
#include "cli/unit_address.h"

#include "discovery/unit_lines.h"

namespace tessaline::cli {

std::string RefusedAddressText(std::uint32_t address, AddressRefusal why) {
  std::string text = DottedIpv4(address);
  switch (why) {
    case AddressRefusal::NoHost:
      text += " names no host";
      break;
    case AddressRefusal::Broadcast:
      text += " is the broadcast address";
      break;
    case AddressRefusal::ThisComputer:
      text += " is this computer";
      break;
    case AddressRefusal::NetworkBroadcast:
      text += " is the broadcast address of a network of this computer";
      break;
  }
  return text + ", not a unit; the desktop program does not take it either";
}

std::optional<std::string> UnusableAddressReason(std::uint32_t address) {
  const auto why = UnitAddressRefusal(address);
  if (!why) return std::nullopt;
  return RefusedAddressText(address, *why);
}

std::optional<std::uint32_t> UnitIpv4(const std::string& text, std::string& error) {
  const auto address = ParseIpv4(text);
  if (!address) {
    error = "--ip needs an IPv4 address such as 192.168.1.20, not '" + text + "'";
    return std::nullopt;
  }
  if (const auto why = UnusableAddressReason(*address)) {
    error = "--ip " + text + ": " + *why;
    return std::nullopt;
  }
  return address;
}

std::optional<UnitAddress> UnitAddressFrom(const CommandLine& line, std::string& error) {
  const auto ip = line.Value("ip");
  const auto port = line.Value("port");
  if (ip.has_value() == port.has_value()) {
    error = "name the unit with exactly one of --ip ADDRESS and --port DEVICE";
    return std::nullopt;
  }
  if (ip) {
    const auto address = UnitIpv4(*ip, error);
    if (!address) return std::nullopt;
    return UnitAddress::Network(*address);
  }
  return UnitAddress::Serial(*port);
}

std::optional<std::string> SerialPortFailure(const UnitAddress& unit) {
  if (!unit.IsSerial()) return std::nullopt;
  const auto port = unit.MakeBootloaderTransport();
  if (port->Open()) {
    port->Close();
    return std::nullopt;
  }
  const std::string why = port->OpenFailure();
  return why.empty() ? unit.Device() + ": the port could not be opened" : why;
}

std::string DescribeUnit(const CommandLine& line) {
  if (const auto ip = line.Value("ip")) return *ip;
  return line.Value("port").value_or("");
}

bool ApplyParserPortOption(const CommandLine& line, std::uint32_t& port, std::string& error) {
  if (!line.Has("parser-port")) return true;
  const auto number = line.Number("parser-port", 1024, 65535, error);
  if (!number) return false;
  port = *number;
  return true;
}

}  // namespace tessaline::cli
