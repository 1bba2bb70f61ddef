// The process-wide package texts: the two properties containers.
#pragma once

#include "package/properties_container.h"

namespace tessaline {

class Package;

PropertiesContainer& UnitProperties();
PropertiesContainer& UpdaterProperties();

// Loads "UPDATER" then "UNIT" (start-up; a missing resource leaves a container empty, so every
// text reads as empty and the windows still work).
void LoadPackageProperties();
// Replaces both texts with those of `package` (a front end that was handed another package).
void LoadPackageProperties(const Package& package);

}  // namespace tessaline
