// The process-wide package texts: the two properties containers.
#pragma once

#include "package/properties_container.h"

namespace tessaline {

PropertiesContainer& UnitProperties();
PropertiesContainer& UpdaterProperties();

// Loads "UPDATER" then "UNIT" (start-up; a missing resource leaves a container empty, so every
// text reads as empty and the windows still work).
void LoadPackageProperties();

}  // namespace tessaline
