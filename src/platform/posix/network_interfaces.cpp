// Local interfaces from getifaddrs: the AF_INET rows give addresses, every row a name.
#include "platform/network_interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tessaline::platform {

namespace {

std::uint32_t Ipv4Of(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return 0;
  sockaddr_in ipv4{};
  std::memcpy(&ipv4, address, sizeof ipv4);
  return ipv4.sin_addr.s_addr;
}

// The one walk both readers take: `visit(name, flags, ipv4)` for each named row in the system's
// order, with an AF_INET row's address and mask. False when the system will not list its
// interfaces.
template <typename Visit>
bool ForEachInterfaceRow(Visit visit) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    std::optional<LocalInterface> ipv4;
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
      ipv4 = LocalInterface{Ipv4Of(entry->ifa_addr), Ipv4Of(entry->ifa_netmask)};
    }
    visit(std::string_view(entry->ifa_name), entry->ifa_flags, ipv4);
  }
  freeifaddrs(list);
  return true;
}

}  // namespace

std::optional<std::vector<LocalInterface>> ReadLocalInterfaces() {
  std::vector<LocalInterface> interfaces;
  const bool listed = ForEachInterfaceRow(
      [&interfaces](std::string_view, unsigned, const std::optional<LocalInterface>& ipv4) {
        if (ipv4) interfaces.push_back(*ipv4);
      });
  if (!listed) return std::nullopt;
  return interfaces;
}

std::optional<std::vector<InterfaceDetails>> ReadInterfaceDetails() {
  std::vector<InterfaceDetails> interfaces;
  const bool listed = ForEachInterfaceRow([&interfaces](std::string_view name, unsigned flags,
                                                        const std::optional<LocalInterface>& ipv4) {
    auto found = std::find_if(interfaces.begin(), interfaces.end(),
                              [&name](const auto& known) { return known.name == name; });
    if (found == interfaces.end()) {
      InterfaceDetails details;
      details.name = name;
      // IFF_RUNNING: a link without carrier is as good as down for reaching units.
      details.up = (flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0;
      details.loopback = (flags & IFF_LOOPBACK) != 0;
      found = interfaces.insert(interfaces.end(), std::move(details));
    }
    if (ipv4) found->addresses.push_back(*ipv4);
  });
  if (!listed) return std::nullopt;
  return interfaces;
}

}  // namespace tessaline::platform
