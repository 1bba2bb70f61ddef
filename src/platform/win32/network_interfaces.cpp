// Local IPv4 addresses and masks from the IP Helper address table.
#include "platform/network_interfaces.h"

// clang-format off
#include <winsock2.h>
#include <iphlpapi.h>
// clang-format on

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

}  // namespace tessaline::platform
