// What the Discover dialog's discovery worker uses, so tests can keep it on loopback.
#pragma once

#include <memory>

#include "discovery/discovery_listener.h"
#include "discovery/network_discovery.h"
#include "discovery/serial_discovery.h"

namespace tessaline::dialogs {

// Options of the discovery worker of every Discover dialog opened from now on (default: the
// system's interfaces).
void SetDiscoveryOptions(NetworkDiscoveryOptions network, SerialDiscoveryOptions serial);

// True while the open Discover dialog's discovery worker runs.
bool DiscoveryRunning();

// A listener reporting to the open Discover dialog as its discovery worker does (tests report
// units through it); null while none is open.
std::shared_ptr<DiscoveryListener> OpenDialogListener();

// The version queries of a Discover dialog are numbered 1, 2, ... in the order of submission; the
// WM_APP_VERSION_QUERY_DONE that ends one reaches the dialog with that number in wParam. In serial
// mode only the end of the newest query restarts the scan, so the scan never competes with a
// query that still needs a port.

}  // namespace tessaline::dialogs
