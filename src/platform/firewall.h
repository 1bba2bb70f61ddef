// The host firewall's inbound rule that lets network discovery replies in: its state, for
// diagnosis, and its addition at start-up.
#pragma once

#include <string>

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

enum class FirewallRuleOutcome {
  NotAttempted,    // no such firewall here, COM already set up on this thread, or no policy
  FirewallOff,     // off for every current profile: nothing to add
  AlreadyPresent,  // the updater's own rule (same name and grouping) is there
  Added,
  AccessDenied,  // refused for lack of rights: the program must run as an Administrator
  AddFailed,     // refused for another reason
};

struct FirewallRuleResult {
  FirewallRuleOutcome outcome = FirewallRuleOutcome::NotAttempted;
  std::string reason;  // the system's words when the addition was refused
};

// Adds the "Announce" rule (inbound UDP from remote port 30303) when the host firewall is on for
// a current profile and the rule is not there yet. Never shows anything: the front end does.
FirewallRuleResult AddDiscoveryFirewallRule();

#ifdef _WIN32
// What the rule lets in: replies from remote port 30303 to this program's executable only, in
// every profile.
struct DiscoveryRuleFields {
  std::wstring application;  // full path of the running executable
  long protocol = 0;         // IANA number (17, UDP)
  std::wstring remotePorts;
  long profiles = 0;
};
DiscoveryRuleFields DiscoveryRule();
#endif

}  // namespace tessaline::platform
