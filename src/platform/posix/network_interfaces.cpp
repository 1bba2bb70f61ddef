// Local IPv4 addresses and masks from getifaddrs.
#include "platform/network_interfaces.h"

#include <ifaddrs.h>
#include <netinet/in.h>

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

std::optional<std::vector<LocalInterface>> ReadLocalInterfaces() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::vector<LocalInterface> interfaces;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    interfaces.push_back({Ipv4Of(entry->ifa_addr), Ipv4Of(entry->ifa_netmask)});
  }
  freeifaddrs(list);
  return interfaces;
}

}  // namespace tessaline::platform
