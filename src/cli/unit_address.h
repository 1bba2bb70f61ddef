// Turning --ip ADDRESS or --port DEVICE into the UnitAddress of the unit named.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "discovery/unit_lines.h"
#include "transport/unit_address.h"

namespace tessaline::cli {

using tessaline::ParseIpv4;

// Why the desktop program would not take `address` (network byte order) as a unit's: 0.0.0.0,
// 255.255.255.255, 127.0.0.1 or the broadcast address of a local network. None when it would.
std::optional<std::string> UnusableAddressReason(std::uint32_t address);
// "127.0.0.1 is this computer, not a unit; ...": why `address` was refused, in a sentence.
std::string RefusedAddressText(std::uint32_t address, AddressRefusal why);

// --ip's text as a unit's address; none with a message in `error` for text that is no IPv4
// address or an address no unit can have.
std::optional<std::uint32_t> UnitIpv4(const std::string& text, std::string& error);

// Exactly one of --ip and --port must be given; none with a message in `error` otherwise.
std::optional<UnitAddress> UnitAddressFrom(const CommandLine& line, std::string& error);

// --parser-port N (1024..65535) into `port`, the unit's text port over the network; without the
// option `port` stays as it is. False with a message in `error`.
bool ApplyParserPortOption(const CommandLine& line, std::uint32_t& port, std::string& error);

// Why a serial unit's port cannot be opened, in the system's words; none when it opens, and for a
// network unit, whose sockets open whether or not a unit is there.
std::optional<std::string> SerialPortFailure(const UnitAddress& unit);

// "127.0.0.2" or "/dev/pts/3": what the user named.
std::string DescribeUnit(const CommandLine& line);

}  // namespace tessaline::cli
