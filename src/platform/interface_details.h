// Each local network interface by name, with its state and IPv4 addresses (for diagnosis).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/network_interfaces.h"

namespace tessaline::platform {

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
