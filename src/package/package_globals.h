// The process-wide package objects: the two properties texts and the two images.
#pragma once

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "package/properties_container.h"

namespace tessaline {

class Package;

PropertiesContainer& UnitProperties();
PropertiesContainer& UpdaterProperties();
CHexManager& ApplicationImage();
CBinManager& FlashDataImage();

// Loads "UPDATER" then "UNIT" (start-up; a missing resource leaves a container empty, so every
// text reads as empty and the windows still work).
void LoadPackageProperties();
// Replaces both texts with those of `package` (a front end that was handed another package).
void LoadPackageProperties(const Package& package);

}  // namespace tessaline
