// The package's image table and presence flags, variant selection and the version rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "shell/ui_strings.h"

namespace tessaline {

class CHexManager;
class CBinManager;

inline constexpr std::string_view kNotesResourceType = "NOTES";

struct PackageVariant {
  std::string_view resource;   // "APPLICATION_STM32_ADAU1452"
  std::string_view type;       // "HEX" or "BIN"
  std::string_view mcuFamily;  // "STM32" or "GD32"
  std::string_view dsp;        // "ADAU1452" or "ADAU1462"
};

inline constexpr std::size_t kPackageVariantCount = 4;

// Flag order: application then flash data for STM32/1452, GD32/1452, STM32/1462, GD32/1462.
extern const std::array<PackageVariant, 2 * kPackageVariantCount> PackageVariants;

// One flag per row of PackageVariants: the resource exists in the program.
using ImagePresenceFlags = std::array<bool, 2 * kPackageVariantCount>;

struct VersionRow {
  StringId label;
  std::string_view key;    // UnitProperties key
  std::string_view notes;  // "NOTES" resource name
};
extern const std::array<VersionRow, 6> VersionTable;

// The process-wide flags, written once by CheckPackage at start-up and only read afterwards.
const ImagePresenceFlags& ImagePresence();

// The flags as the program's resources say (only existence is tested, nothing is loaded).
ImagePresenceFlags ScanPackage();
// Fills ImagePresence and PackageHasApplication (shell/settings.h); the first call also sets the
// user's OverwriteFirmware choice to the same value. True when at least one application image is
// present (flash data alone does not count).
bool CheckPackage();
// The same rule over given flags.
bool HasAnyApplication(const ImagePresenceFlags& flags);

// The variant (0..3) whose MCU family and DSP equal these texts exactly, if any.
std::optional<std::size_t> SelectVariant(std::string_view mcuFamily, std::string_view dsp);
// Rows of PackageVariants for variant v: application 2v, flash data 2v + 1.
constexpr std::size_t ApplicationRow(std::size_t variant) { return 2 * variant; }
constexpr std::size_t FlashDataRow(std::size_t variant) { return 2 * variant + 1; }

// Loads the images of the unit's variant that `flags` say the package holds: the application
// image, then the flash data image. False when the variant is unknown, the package holds neither
// of its images, or any image present fails to load (a damaged application image is refused even
// when the flash data loads).
bool LoadVariantImages(std::string_view mcuFamily, std::string_view dsp,
                       const ImagePresenceFlags& flags, CHexManager& application,
                       CBinManager& flashData);

}  // namespace tessaline
