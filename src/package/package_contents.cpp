// The package's resource table, the start-up package check and variant selection.
#include "package/package_contents.h"

#include <algorithm>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "platform/module_resources.h"
#include "shell/settings.h"

namespace tessaline {
namespace {

ImagePresenceFlags& MutableImagePresence() {
  static ImagePresenceFlags flags{};
  return flags;
}

}  // namespace

const std::array<PackageVariant, 2 * kPackageVariantCount> PackageVariants{{
    {"APPLICATION_STM32_ADAU1452", kHexResourceType, "STM32", "ADAU1452"},
    {"FLASH_STM32_ADAU1452", kBinResourceType, "STM32", "ADAU1452"},
    {"APPLICATION_GD32_ADAU1452", kHexResourceType, "GD32", "ADAU1452"},
    {"FLASH_GD32_ADAU1452", kBinResourceType, "GD32", "ADAU1452"},
    {"APPLICATION_STM32_ADAU1462", kHexResourceType, "STM32", "ADAU1462"},
    {"FLASH_STM32_ADAU1462", kBinResourceType, "STM32", "ADAU1462"},
    {"APPLICATION_GD32_ADAU1462", kHexResourceType, "GD32", "ADAU1462"},
    {"FLASH_GD32_ADAU1462", kBinResourceType, "GD32", "ADAU1462"},
}};

const std::array<VersionRow, 6> VersionTable{{
    {IDS_BUILD_VERSION, "build-version", "BUILD_NOTES"},
    {IDS_CORE_HW_VERSION, "core-hw-version", "CORE_HW_NOTES"},
    {IDS_CORE_FW_VERSION, "core-fw-version", "CORE_FW_NOTES"},
    {IDS_SERVER_FW_VERSION, "server-fw-version", "SERVER_FW_NOTES"},
    {IDS_SERVER_HW_VERSION, "server-hw-version", "SERVER_HW_NOTES"},
    {IDS_SERVER_UI_VERSION, "server-ui-version", "SERVER_UI_NOTES"},
}};

const ImagePresenceFlags& ImagePresence() { return MutableImagePresence(); }

ImagePresenceFlags ScanPackage() {
  ImagePresenceFlags flags{};
  for (std::size_t row = 0; row < PackageVariants.size(); ++row) {
    const PackageVariant& variant = PackageVariants[row];
    flags[row] = platform::FindModuleResource(variant.type, variant.resource).has_value();
  }
  return flags;
}

bool HasAnyApplication(const ImagePresenceFlags& flags) {
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    if (flags[ApplicationRow(variant)]) return true;
  }
  return false;
}

bool CheckPackage() {
  MutableImagePresence() = ScanPackage();
  const bool hasApplication = HasAnyApplication(ImagePresence());
  PackageHasApplication = hasApplication;
  // The Firmware box starts as the package allows; afterwards it is the user's alone.
  static const bool firstCall = [hasApplication] {
    OverwriteFirmware = hasApplication;
    return true;
  }();
  (void)firstCall;
  return hasApplication;
}

std::optional<std::size_t> SelectVariant(std::string_view mcuFamily, std::string_view dsp) {
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    const PackageVariant& row = PackageVariants[ApplicationRow(variant)];
    if (row.mcuFamily == mcuFamily && row.dsp == dsp) return variant;
  }
  return std::nullopt;
}

bool LoadVariantImages(std::string_view mcuFamily, std::string_view dsp,
                       const ImagePresenceFlags& flags, CHexManager& application,
                       CBinManager& flashData) {
  const auto variant = SelectVariant(mcuFamily, dsp);
  if (!variant) return false;
  const bool hasApplication = flags[ApplicationRow(*variant)];
  const bool hasFlashData = flags[FlashDataRow(*variant)];
  if (!hasApplication && !hasFlashData) return false;
  if (hasApplication &&
      !application.LoadHexResource(PackageVariants[ApplicationRow(*variant)].resource)) {
    return false;
  }
  if (hasFlashData &&
      !flashData.LoadFromResource(PackageVariants[FlashDataRow(*variant)].resource)) {
    return false;
  }
  return true;
}

}  // namespace tessaline
