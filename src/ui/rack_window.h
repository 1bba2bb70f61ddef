// The rack window: many units updated at once, a row each.
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

}  // namespace tessaline
