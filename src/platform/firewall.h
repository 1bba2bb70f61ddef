// The inbound firewall rule that lets network discovery replies in.
#pragma once

#ifdef _WIN32
#include <string>
#endif

namespace tessaline::platform {

// Adds the "Announce" rule (inbound UDP from remote port 30303) when the host firewall is on for
// a current profile and the rule is not there yet; warns in a box owned by `ownerWindow` when
// the addition is refused for lack of rights. Does nothing where there is no such firewall.
void AddDiscoveryFirewallRule(void* ownerWindow);

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
