// What the Discover dialog's discovery worker uses, so tests can keep it on loopback.
#pragma once

#include "discovery/network_discovery.h"
#include "discovery/serial_discovery.h"

namespace tessaline::dialogs {

// Options of the discovery worker of every Discover dialog opened from now on (defaults: the
// system's interfaces, the package's identity).
void SetDiscoveryOptions(NetworkDiscoveryOptions network, SerialDiscoveryOptions serial);

}  // namespace tessaline::dialogs
