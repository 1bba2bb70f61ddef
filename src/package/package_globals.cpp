// The process-wide package objects, built on first use.
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

CHexManager& ApplicationImage() {
  static CHexManager image;
  return image;
}

CBinManager& FlashDataImage() {
  static CBinManager image(kFlashDataBase);
  return image;
}

void LoadPackageProperties() {
  UpdaterProperties().LoadPropertiesResource("UPDATER");
  UnitProperties().LoadPropertiesResource("UNIT");
}

}  // namespace tessaline
