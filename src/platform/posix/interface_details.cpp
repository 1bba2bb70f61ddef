// Interfaces by name from getifaddrs: the AF_INET rows give addresses, every row gives a name.
#include "platform/interface_details.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace tessaline::platform {

namespace {
std::uint32_t Ipv4Of(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return 0;
  sockaddr_in ipv4{};
  std::memcpy(&ipv4, address, sizeof ipv4);
  return ipv4.sin_addr.s_addr;
}
}  // namespace

std::optional<std::vector<InterfaceDetails>> ReadInterfaceDetails() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::vector<InterfaceDetails> interfaces;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    auto found = std::find_if(interfaces.begin(), interfaces.end(),
                              [entry](const auto& known) { return known.name == entry->ifa_name; });
    if (found == interfaces.end()) {
      InterfaceDetails details;
      details.name = entry->ifa_name;
      // IFF_RUNNING: a link without carrier is as good as down for reaching units.
      details.up = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_RUNNING) != 0;
      details.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
      found = interfaces.insert(interfaces.end(), std::move(details));
    }
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
      found->addresses.push_back({Ipv4Of(entry->ifa_addr), Ipv4Of(entry->ifa_netmask)});
    }
  }
  freeifaddrs(list);
  return interfaces;
}

}  // namespace tessaline::platform
