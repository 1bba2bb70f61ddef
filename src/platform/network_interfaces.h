// The local network interfaces: the IPv4 address table discovery broadcasts over, and each
// interface by name with its state (for diagnosis).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaline::platform {

struct LocalInterface {
  std::uint32_t address = 0;  // network byte order
  std::uint32_t mask = 0;     // network byte order
};

// Every local IPv4 address (loopback included) with its mask (GetIpAddrTable on Windows,
// getifaddrs on Linux). Empty optional when the table cannot be read.
std::optional<std::vector<LocalInterface>> ReadLocalInterfaces();

struct InterfaceDetails {
  std::string name;  // "eth0"; the adapter's friendly name on Windows ("Ethernet 2")
  bool up = false;   // administratively up and able to pass traffic
  bool loopback = false;
  std::vector<LocalInterface> addresses;  // empty: no IPv4 address
};

// Every interface the system lists, loopback included, in the system's order (getifaddrs on
// Linux, GetAdaptersAddresses on Windows). Empty optional when the list cannot be read.
std::optional<std::vector<InterfaceDetails>> ReadInterfaceDetails();

}  // namespace tessaline::platform
