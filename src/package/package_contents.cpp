// The package's resource table, the version rows and variant selection.
#include "package/package_contents.h"

#include "package/bin_manager.h"
#include "package/hex_manager.h"

namespace tessaline {

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

bool HasAnyApplication(const ImagePresenceFlags& flags) {
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    if (flags[ApplicationRow(variant)]) return true;
  }
  return false;
}

std::optional<std::size_t> SelectVariant(std::string_view mcuFamily, std::string_view dsp) {
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    const PackageVariant& row = PackageVariants[ApplicationRow(variant)];
    if (row.mcuFamily == mcuFamily && row.dsp == dsp) return variant;
  }
  return std::nullopt;
}

}  // namespace tessaline
