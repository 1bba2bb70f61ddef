// The process-wide package texts, built on first use.
#include "package/package_globals.h"

#include "package/package.h"

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

namespace tessaline {

namespace {
void CopyTexts(const PropertiesContainer& from, PropertiesContainer& to) {
  to.Clear();
  from.ForEach(
      [&to](const std::string& key, const std::string& value) { to.AddProperty(key, value); });
}
}  // namespace

void LoadPackageProperties(const Package& package) {
  CopyTexts(package.UpdaterTexts(), UpdaterProperties());
  CopyTexts(package.UnitTexts(), UnitProperties());
}

}  // namespace tessaline
