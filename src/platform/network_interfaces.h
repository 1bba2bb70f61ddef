// The local IPv4 interface table: each local address with its subnet mask.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tessaline::platform {

struct LocalInterface {
  std::uint32_t address = 0;  // network byte order
  std::uint32_t mask = 0;     // network byte order
};

// Every local IPv4 address (loopback included) with its mask (GetIpAddrTable on Windows,
// getifaddrs on Linux). Empty optional when the table cannot be read.
std::optional<std::vector<LocalInterface>> ReadLocalInterfaces();

}  // namespace tessaline::platform
