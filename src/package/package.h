// The firmware package loaded once into an immutable object that any number of jobs share.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/package_contents.h"
#include "package/properties_container.h"

namespace tessaline {

class CHexManager;
class CBinManager;

// Where the package's files come from: the program's embedded resources today; a folder of
// files with the same names fits behind the same call.
class PackageSource {
 public:
  virtual ~PackageSource() = default;
  // The bytes of the file of that type ("HEX", "BIN") and name, or none.
  virtual std::optional<std::vector<std::uint8_t>> Read(std::string_view type,
                                                        std::string_view name) const = 0;
};

// The files built into the program.
class EmbeddedPackageSource final : public PackageSource {
 public:
  std::optional<std::vector<std::uint8_t>> Read(std::string_view type,
                                                std::string_view name) const override;
};

// A folder laid out as the build's package: <TYPE>/<NAME>[.<extension>] ("HEX/APPLICATION_
// STM32_ADAU1452.hex"), so a package taken from a build folder loads unchanged.
class DirectoryPackageSource final : public PackageSource {
 public:
  explicit DirectoryPackageSource(std::filesystem::path directory)
      : directory_(std::move(directory)) {}
  std::optional<std::vector<std::uint8_t>> Read(std::string_view type,
                                                std::string_view name) const override;

 private:
  std::filesystem::path directory_;
};

// What a variant's images came to for one job.
enum class VariantImages { Loaded, UnknownVariant, NotInPackage, Damaged };

class Package {
 public:
  static std::shared_ptr<const Package> Load(const PackageSource& source);

  // One flag per row of PackageVariants: the package holds that file.
  const ImagePresenceFlags& Presence() const { return presence_; }
  // At least one application image (flash data alone does not count).
  bool HasAnyApplication() const;

  // The raw file of row `row` of PackageVariants, when the package holds it.
  const std::optional<std::vector<std::uint8_t>>& File(std::size_t row) const {
    return files_[row];
  }
  // The "UNIT" and "UPDATER" properties texts (empty when the package has none).
  const PropertiesContainer& UnitTexts() const { return unitTexts_; }
  const PropertiesContainer& UpdaterTexts() const { return updaterTexts_; }
  // The notes of the version rows that the package holds, by notes name ("BUILD_NOTES").
  const std::map<std::string, std::string, std::less<>>& Notes() const { return notes_; }

  // Loads every image present with the parsers a job uses: empty when all load, else what is
  // damaged ("HEX/APPLICATION_STM32_ADAU1452: line 12: wrong checksum ..."). Lets a front end
  // refuse a damaged package before any unit is contacted.
  std::string FirstDamage() const;

  // Loads the images of `variant` that the package holds into the job's own image objects (the
  // others are left empty). Damaged when any image present fails to load: a damaged application
  // image is refused even when the flash data loads.
  VariantImages LoadVariant(std::size_t variant, CHexManager& application,
                            CBinManager& flashData) const;
  // The same, choosing the variant whose MCU family and DSP equal these texts exactly.
  VariantImages LoadVariant(std::string_view mcuFamily, std::string_view dsp,
                            CHexManager& application, CBinManager& flashData) const;

 private:
  std::array<std::optional<std::vector<std::uint8_t>>, 2 * kPackageVariantCount> files_;
  ImagePresenceFlags presence_{};
  PropertiesContainer unitTexts_;
  PropertiesContainer updaterTexts_;
  std::map<std::string, std::string, std::less<>> notes_;
};

// The program's own package, loaded on first use and shared by every job of the process.
std::shared_ptr<const Package> EmbeddedPackage();

}  // namespace tessaline
