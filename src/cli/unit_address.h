// Turning --ip ADDRESS or --port DEVICE into the transport that reaches the unit's bootloader.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "transport/transport.h"

namespace tessaline::cli {

// Dotted-quad IPv4 text to an address in network byte order; none for anything else.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);

// Exactly one of --ip and --port must be given. The bootloader is reached over UDP port 6234
// (--ip) or at 115200 baud (--port). Null with a message in `error` otherwise.
std::unique_ptr<Transport> MakeBootloaderTransport(const CommandLine& line, std::string& error);

// --parser-port N (1024..65535) into CurrentParserPort, the unit's text port over the network;
// without the option the setting stays as it is (4999). False with a message in `error`.
bool ApplyParserPortOption(const CommandLine& line, std::string& error);

// "127.0.0.2" or "/dev/pts/3": what the user named.
std::string DescribeUnit(const CommandLine& line);

}  // namespace tessaline::cli
