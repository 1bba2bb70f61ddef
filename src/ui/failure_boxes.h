// The boxes the desktop program shows for the failures the core reports as values.
#pragma once

#include "platform/firewall.h"
#include "transport/socket_error.h"

namespace tessaline {

// "Socket Error" with the failed step's text, error icon, owned by no window; shown on the
// calling thread (a worker's box waits there, as the worker always has).
void ShowSocketErrorBox(const SocketFailure& failure);

// The warning, owned by `ownerWindow`, when the discovery rule was refused for lack of rights;
// nothing for any other outcome.
void ShowFirewallRuleBox(void* ownerWindow, const platform::FirewallRuleResult& result);

}  // namespace tessaline
