// The dialogs the main window opens, each modal over the owner.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "discovery/discovery_thread.h"
#include "transport/unit_address.h"

namespace tessaline {

// What the Discover dialog chose.
struct DiscoverChoice {
  std::optional<std::uint32_t> addressNetworkOrder;  // a network unit
  std::optional<std::size_t> portIndex;              // a serial unit (ComPortTable index)
};

void OpenAboutDialog(HWND owner);
void OpenVersionInformation(HWND owner);
void OpenUnitPreparationHelp(HWND owner);
void OpenUpdateInstructionsHelp(HWND owner);
// Nothing chosen (cancelled) leaves both fields empty.
DiscoverChoice OpenDiscoverDialog(HWND owner, DiscoverMode mode);
void OpenEnterBootloadDialog(HWND owner, const UnitAddress& unit);

}  // namespace tessaline
