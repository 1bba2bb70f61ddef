// Whether the host firewall would let discovery replies in, for diagnosis.
#pragma once

namespace tessaline::platform {

enum class DiscoveryFirewallState {
  NotApplicable,  // no firewall policy interface the updater manages (Linux)
  Unknown,        // the policy could not be read
  FirewallOff,    // off for every current network profile: replies pass
  RulePresent,    // on, and the updater's "Announce" rule is there
  RuleMissing,    // on, and the rule is not there: replies are dropped
};

// Reads the firewall policy without changing it.
DiscoveryFirewallState ReadDiscoveryFirewallState();

}  // namespace tessaline::platform
