// Units named as text, one a line: the command line's units file and the rack window's box read
// them alike, and both refuse an address the main window would not take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/network_discovery.h"
#include "transport/unit_address.h"

namespace tessaline {

// Why an IPv4 address cannot be a unit's.
enum class AddressRefusal { NoHost, Broadcast, ThisComputer, NetworkBroadcast };

// None when `address` (network order) can be a unit's; `table` as for IsUsableUnitAddress.
std::optional<AddressRefusal> UnitAddressRefusal(std::uint32_t address,
                                                 const std::optional<InterfaceTable>& table);
// Same, reading the system's interface table only when it matters.
std::optional<AddressRefusal> UnitAddressRefusal(std::uint32_t address);

enum class UnitLineFault {
  None,
  NotAnAddress,    // digits and dots, but no IPv4 address
  RefusedAddress,  // an address no unit can have (`refusal` says which)
  NotAUnit,        // neither an address nor a serial device
};

struct UnitLine {
  std::size_t number = 0;  // counted from 1, blank and comment lines included
  std::string text;        // without its comment and surrounding blanks
  std::optional<UnitAddress> unit;  // set exactly when `fault` is None
  UnitLineFault fault = UnitLineFault::None;
  std::optional<AddressRefusal> refusal;
  std::size_t firstNamedAt = 0;  // the line that named the same unit first; 0 on that line
};

// Every line that names something, in order. A UTF-8 byte-order mark, blank lines and '#'
// comments are skipped. A line is an IPv4 address or one serial device: a path ("/dev/ttyUSB0",
// "\\.\COM3") or a Windows port name ("COM3").
std::vector<UnitLine> ReadUnitLines(std::string_view text);

}  // namespace tessaline
