// Linux has no firewall policy the updater manages: the state is not applicable.
#include "platform/firewall_status.h"

namespace tessaline::platform {

DiscoveryFirewallState ReadDiscoveryFirewallState() {
  return DiscoveryFirewallState::NotApplicable;
}

}  // namespace tessaline::platform
