// The package's image table and presence flags, variant selection and the version rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "strings/ui_strings.h"

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
  std::string_view key;    // key of the package's unit texts
  std::string_view notes;  // "NOTES" resource name
};
extern const std::array<VersionRow, 6> VersionTable;

// True when at least one application image is present (flash data alone does not count).
bool HasAnyApplication(const ImagePresenceFlags& flags);

// The variant (0..3) whose MCU family and DSP equal these texts exactly, if any.
std::optional<std::size_t> SelectVariant(std::string_view mcuFamily, std::string_view dsp);
// Rows of PackageVariants for variant v: application 2v, flash data 2v + 1.
constexpr std::size_t ApplicationRow(std::size_t variant) { return 2 * variant; }
constexpr std::size_t FlashDataRow(std::size_t variant) { return 2 * variant + 1; }

}  // namespace tessaline
