// The main window's requests to the core: job threads, version queries, address checks.
#include "ui/unit_services.h"

#include "discovery/network_discovery.h"
#include "discovery/version_worker.h"

namespace tessaline {
void QueueVersionQuery(UnitRequest request) {
  SubmitVersionQuery(std::make_unique<UnitRequest>(std::move(request)));
}

bool IsUsableAddress(std::uint32_t addressNetworkOrder) {
  return IsUsableUnitAddress(addressNetworkOrder);
}

}  // namespace tessaline
