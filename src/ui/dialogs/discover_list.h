// The Discover dialog's list entries: what a reported unit is, its label, order and look.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "transport/unit_address.h"

namespace tessaline::dialogs {

// One list entry; the list items carry pointers to these, owned by the dialog. An entry names its
// unit itself (a serial one by its device), so a rescan of the ports never changes its meaning.
struct DiscoveredUnit {
  UnitAddress unit = UnitAddress::Network(0);
  bool linkLocal = false;
  bool otherSubnet = false;
  bool inBootload = false;
  std::wstring label;
};

inline constexpr COLORREF kLinkLocalColour = RGB(0, 192, 0);
inline constexpr COLORREF kOtherSubnetColour = RGB(128, 128, 128);

// The entry for a WM_APP_NET_UNIT_FOUND report.
DiscoveredUnit NetworkUnit(std::uint16_t flags, std::uint32_t addressNetworkOrder);
// The entry for a WM_APP_COM_UNIT_FOUND report of `unit`.
DiscoveredUnit SerialUnit(bool inBootload, UnitAddress unit);

// Network list order: units in bootload mode first; others compare equal.
int CompareEntries(const DiscoveredUnit& first, const DiscoveredUnit& second);

struct EntryLook {
  bool bold = false;
  bool highlighted = false;  // drawn in the system highlight colours
  // An unselected entry with a colour of its own; otherwise the list's current text colour.
  bool ownColour = false;
  COLORREF colour = 0;
};
// How an entry is drawn: bold in bootload mode; link-local green wins over other-subnet grey.
EntryLook LookOf(const DiscoveredUnit& unit, bool selected);

}  // namespace tessaline::dialogs
