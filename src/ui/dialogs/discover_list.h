// The Discover dialog's list entries: what a reported unit is, its label, order and look.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace tessaline::dialogs {

// One list entry; the list items carry pointers to these, owned by the dialog.
struct DiscoveredUnit {
  std::uint32_t address = 0;  // IPv4, network byte order; 0 for a serial unit
  bool linkLocal = false;
  bool otherSubnet = false;
  std::uint32_t portIndex = 0;  // ComPortTable index; 0 for a network unit
  bool inBootload = false;
  std::wstring label;
};

inline constexpr COLORREF kLinkLocalColour = RGB(0, 192, 0);
inline constexpr COLORREF kOtherSubnetColour = RGB(128, 128, 128);

// The entry for a WM_APP_NET_UNIT_FOUND report.
DiscoveredUnit NetworkUnit(std::uint16_t flags, std::uint32_t addressNetworkOrder);
// The entry for a WM_APP_COM_UNIT_FOUND report on the port `deviceName` ("\\.\COM3").
DiscoveredUnit SerialUnit(bool inBootload, std::uint32_t portIndex, const std::string& deviceName);

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

// The Discover result for a chosen entry: its address, or the serial mask OR its port index.
std::uint32_t ResultFor(const DiscoveredUnit& unit);

}  // namespace tessaline::dialogs
