// The rack window: many units typed or pasted in, updated at once through the core's rack, a row
// each, receipts kept without asking.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "transport/unit_address.h"

namespace tessaline {

class Package;

// Opens the rack window over `owner` (modeless), its unit box filled with `units` (may be empty).
void OpenRackWindow(HWND owner, std::shared_ptr<const Package> package,
                    const std::vector<UnitAddress>& units);

// The rack window while it is open; null otherwise.
HWND RackWindowHandle();

}  // namespace tessaline
