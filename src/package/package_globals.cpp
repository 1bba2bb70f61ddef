// The process-wide package texts, built on first use.
#include "package/package_globals.h"

namespace tessaline {

PropertiesContainer& UnitProperties() {
  static PropertiesContainer container;
  return container;
}

PropertiesContainer& UpdaterProperties() {
  static PropertiesContainer container;
  return container;
}

void LoadPackageProperties() {
  UpdaterProperties().LoadPropertiesResource("UPDATER");
  UnitProperties().LoadPropertiesResource("UNIT");
}

}  // namespace tessaline
