// What the main window asks of the core: the two jobs, version queries and the address check.
#pragma once

#include <cstdint>
#include <memory>

#include "shell/unit_request.h"

namespace tessaline {

// Hands the request to the version query worker, which owns it from then on.
void QueueVersionQuery(UnitRequest request);

// A unit may be asked at this address (network byte order): not loopback 127.0.0.1 and not the
// directed broadcast address of a local interface.
bool IsUsableAddress(std::uint32_t addressNetworkOrder);

}  // namespace tessaline
