// No host firewall policy interface here: discovery replies need no rule.
#include "platform/firewall.h"

namespace tessaline::platform {

void AddDiscoveryFirewallRule(void* /*ownerWindow*/) {}

}  // namespace tessaline::platform
