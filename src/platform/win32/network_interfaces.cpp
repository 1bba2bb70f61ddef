// Local interfaces from the IP Helper: the address table, and the adapters (IPv4 only) with their
// state and prefixes.
#include "platform/network_interfaces.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

#include <cstring>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

std::optional<std::vector<LocalInterface>> ReadLocalInterfaces() {
  ULONG size = 0;
  std::vector<unsigned char> storage;
  DWORD status = ERROR_INSUFFICIENT_BUFFER;
  // The table can grow between the size query and the read; a few tries settle it.
  for (int attempt = 0; attempt < 4 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    storage.resize(size > 0 ? size : sizeof(MIB_IPADDRTABLE));
    size = static_cast<ULONG>(storage.size());
    status = GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(storage.data()), &size, FALSE);
  }
  if (status != NO_ERROR) return std::nullopt;
  const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(storage.data());
  std::vector<LocalInterface> interfaces;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    interfaces.push_back({table->table[i].dwAddr, table->table[i].dwMask});
  }
  return interfaces;
}

std::optional<std::vector<InterfaceDetails>> ReadInterfaceDetails() {
  constexpr ULONG kFlags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> storage;
  ULONG status = ERROR_BUFFER_OVERFLOW;
  // The list can grow between two calls; a few tries settle it.
  for (int attempt = 0; attempt < 4 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
    storage.resize(size);
    status = GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data()), &size);
  }
  if (status == ERROR_NO_DATA) return std::vector<InterfaceDetails>{};
  if (status != NO_ERROR) return std::nullopt;
  std::vector<InterfaceDetails> interfaces;
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(storage.data());
       adapter != nullptr; adapter = adapter->Next) {
    InterfaceDetails details;
    if (adapter->FriendlyName != nullptr) details.name = Utf8FromWide(adapter->FriendlyName);
    if (details.name.empty() && adapter->AdapterName != nullptr)
      details.name = adapter->AdapterName;
    details.up = adapter->OperStatus == IfOperStatusUp;
    details.loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const SOCKADDR* raw = unicast->Address.lpSockaddr;
      if (raw == nullptr || raw->sa_family != AF_INET) continue;
      sockaddr_in ipv4{};
      std::memcpy(&ipv4, raw, sizeof ipv4);
      ULONG mask = 0;  // network byte order; all ones for a length beyond 32
      ConvertLengthToIpv4Mask(unicast->OnLinkPrefixLength, &mask);
      details.addresses.push_back({ipv4.sin_addr.s_addr, mask});
    }
    interfaces.push_back(std::move(details));
  }
  return interfaces;
}

}  // namespace tessaline::platform
