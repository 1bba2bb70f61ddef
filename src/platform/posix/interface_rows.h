// The one walk over getifaddrs that both interface readers take: each row's name, flags and
// IPv4 address, in the system's order.
#pragma once

#include <functional>
#include <optional>

#include "platform/network_interfaces.h"

namespace tessaline::platform {

struct InterfaceRow {
  const char* name;                    // never null: rows without a name are skipped
  unsigned flags;                      // IFF_*
  std::optional<LocalInterface> ipv4;  // an AF_INET row's address and mask
};

// False when the system will not list its interfaces.
bool ForEachInterfaceRow(const std::function<void(const InterfaceRow&)>& visit);

}  // namespace tessaline::platform
