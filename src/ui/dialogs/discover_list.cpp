// Labels, order, look and results of the Discover dialog's entries.
#include "ui/dialogs/discover_list.h"

#include "discovery/discovery_listener.h"
#include "transport/com_port_table.h"
#include "transport/unit_address.h"
#include "ui/dialogs/dialogs.h"
#include "ui/wide_text.h"

namespace tessaline::dialogs {

DiscoveredUnit NetworkUnit(std::uint16_t flags, std::uint32_t addressNetworkOrder) {
  DiscoveredUnit unit;
  unit.address = addressNetworkOrder;
  unit.linkLocal = (flags & kUnitLinkLocal) != 0;
  unit.otherSubnet = (flags & kUnitOnOtherSubnet) != 0;
  unit.inBootload = (flags & kUnitInBootload) != 0;
  unit.label = Widen(DottedIpv4(addressNetworkOrder));
  return unit;
}

DiscoveredUnit SerialUnit(bool inBootload, std::uint32_t portIndex, const std::string& deviceName) {
  DiscoveredUnit unit;
  unit.portIndex = portIndex;
  unit.inBootload = inBootload;
  unit.label = Widen(PortLabel(deviceName));
  return unit;
}

int CompareEntries(const DiscoveredUnit& first, const DiscoveredUnit& second) {
  if (first.inBootload && !second.inBootload) return -1;
  if (!first.inBootload && second.inBootload) return 1;
  return 0;
}

EntryLook LookOf(const DiscoveredUnit& unit, bool selected) {
  EntryLook look;
  look.bold = unit.inBootload;
  look.highlighted = selected;
  if (selected) return look;
  if (unit.linkLocal) {
    look.ownColour = true;
    look.colour = kLinkLocalColour;
  } else if (unit.otherSubnet) {
    look.ownColour = true;
    look.colour = kOtherSubnetColour;
  }
  return look;
}

std::uint32_t ResultFor(const DiscoveredUnit& unit) {
  return unit.address != 0 ? unit.address : (kDiscoverSerialMask | unit.portIndex);
}

}  // namespace tessaline::dialogs
