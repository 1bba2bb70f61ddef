// Local IPv4 addresses and masks from getifaddrs, and the walk over its rows.
#include "platform/network_interfaces.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstring>

#include "platform/posix/interface_rows.h"

namespace tessaline::platform {

namespace {
std::uint32_t Ipv4Of(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return 0;
  sockaddr_in ipv4{};
  std::memcpy(&ipv4, address, sizeof ipv4);
  return ipv4.sin_addr.s_addr;
}
}  // namespace

bool ForEachInterfaceRow(const std::function<void(const InterfaceRow&)>& visit) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    InterfaceRow row{entry->ifa_name, entry->ifa_flags, std::nullopt};
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
      row.ipv4 = LocalInterface{Ipv4Of(entry->ifa_addr), Ipv4Of(entry->ifa_netmask)};
    }
    visit(row);
  }
  freeifaddrs(list);
  return true;
}

std::optional<std::vector<LocalInterface>> ReadLocalInterfaces() {
  std::vector<LocalInterface> interfaces;
  const bool listed = ForEachInterfaceRow([&interfaces](const InterfaceRow& row) {
    if (row.ipv4) interfaces.push_back(*row.ipv4);
  });
  if (!listed) return std::nullopt;
  return interfaces;
}

}  // namespace tessaline::platform
