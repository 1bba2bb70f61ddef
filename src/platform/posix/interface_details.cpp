// Interfaces by name from the getifaddrs rows: the AF_INET rows give addresses, every row a name.
#include "platform/interface_details.h"

#include <net/if.h>

#include <algorithm>

#include "platform/posix/interface_rows.h"

namespace tessaline::platform {

std::optional<std::vector<InterfaceDetails>> ReadInterfaceDetails() {
  std::vector<InterfaceDetails> interfaces;
  const bool listed = ForEachInterfaceRow([&interfaces](const InterfaceRow& row) {
    auto found = std::find_if(interfaces.begin(), interfaces.end(),
                              [&row](const auto& known) { return known.name == row.name; });
    if (found == interfaces.end()) {
      InterfaceDetails details;
      details.name = row.name;
      // IFF_RUNNING: a link without carrier is as good as down for reaching units.
      details.up = (row.flags & IFF_UP) != 0 && (row.flags & IFF_RUNNING) != 0;
      details.loopback = (row.flags & IFF_LOOPBACK) != 0;
      found = interfaces.insert(interfaces.end(), std::move(details));
    }
    if (row.ipv4) found->addresses.push_back(*row.ipv4);
  });
  if (!listed) return std::nullopt;
  return interfaces;
}

}  // namespace tessaline::platform
