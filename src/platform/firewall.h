// The inbound firewall rule that lets network discovery replies in.
#pragma once

namespace tessaline::platform {

// Adds the "Announce" rule (inbound UDP from remote port 30303) when the host firewall is on for
// a current profile and the rule is not there yet; warns in a box owned by `ownerWindow` when
// the addition is refused for lack of rights. Does nothing where there is no such firewall.
void AddDiscoveryFirewallRule(void* ownerWindow);

}  // namespace tessaline::platform
