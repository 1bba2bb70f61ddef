// Storage of the shared settings and the thread-name hook.
#include "shell/settings.h"

#include "transport/ethernet_transport_tcp.h"

namespace tessaline {

std::atomic<std::uint32_t> CurrentParserPort{kDefaultParserPort};
std::atomic<bool> OverwriteFactoryDefaults{false};
std::atomic<bool> OverwriteFirmware{false};
std::atomic<bool> PackageHasApplication{false};

void ThreadNameHook(const char* /*name*/) {}

}  // namespace tessaline
