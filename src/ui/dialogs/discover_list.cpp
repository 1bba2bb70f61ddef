// Labels, order and look of the Discover dialog's entries.
#include "ui/dialogs/discover_list.h"

#include "discovery/discovery_listener.h"
#include "transport/com_port_table.h"
#include "ui/wide_text.h"

namespace tessaline::dialogs {

DiscoveredUnit NetworkUnit(std::uint16_t flags, std::uint32_t addressNetworkOrder) {
  DiscoveredUnit entry;
  entry.unit = UnitAddress::Network(addressNetworkOrder);
  entry.linkLocal = (flags & kUnitLinkLocal) != 0;
  entry.otherSubnet = (flags & kUnitOnOtherSubnet) != 0;
  entry.inBootload = (flags & kUnitInBootload) != 0;
  entry.label = Widen(DottedIpv4(addressNetworkOrder));
  return entry;
}

DiscoveredUnit SerialUnit(bool inBootload, UnitAddress unit) {
  DiscoveredUnit entry;
  entry.label = Widen(PortLabel(unit.Device()));
  entry.unit = std::move(unit);
  entry.inBootload = inBootload;
  return entry;
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

}  // namespace tessaline::dialogs
