// No host firewall policy interface here: discovery replies need no rule.
#include "platform/firewall.h"

namespace tessaline::platform {

DiscoveryFirewallState ReadDiscoveryFirewallState() {
  return DiscoveryFirewallState::NotApplicable;
}

FirewallRuleResult AddDiscoveryFirewallRule() { return {}; }

}  // namespace tessaline::platform
