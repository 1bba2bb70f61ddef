// Storage of the desktop program's shared settings.
#include "ui/settings.h"

#include "transport/ethernet_transport_tcp.h"

namespace tessaline {

std::atomic<std::uint32_t> CurrentParserPort{kDefaultParserPort};
std::atomic<bool> OverwriteFactoryDefaults{false};
std::atomic<bool> OverwriteFirmware{false};
std::atomic<bool> PackageHasApplication{false};

}  // namespace tessaline
