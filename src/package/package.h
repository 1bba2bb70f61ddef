// The firmware package loaded once into an immutable object that any number of jobs share.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/hex_manager.h"
#include "package/package_contents.h"
#include "package/properties_container.h"

namespace tessaline {

class CBinManager;

// Where the package's files come from: the program's embedded resources, or a folder of files.
class PackageSource {
 public:
  virtual ~PackageSource() = default;
  // The bytes of the file of that type ("HEX", "BIN") and name, or none.
  virtual std::optional<std::vector<std::uint8_t>> Read(std::string_view type,
                                                        std::string_view name) const = 0;
  // The same bytes where they already lie for the life of the process (the program's own
  // resources), so the package need not copy them; none when the source has no such place.
  virtual std::optional<std::span<const std::uint8_t>> ReadInPlace(
      std::string_view /*type*/, std::string_view /*name*/) const {
    return std::nullopt;
  }
  // The package has read these in-place bytes through and keeps what it decoded from them, so
  // the source may let their memory go until they are read again.
  virtual void DoneReadingInPlace(std::span<const std::uint8_t> /*bytes*/) const {}
  // Where the file of that type and name is read from, for people: its path, or "built in".
  virtual std::string Origin(std::string_view type, std::string_view name) const = 0;
  // Why what Read gives for that type and name might not be the file meant (another file that
  // could be taken for it, or one that cannot be read), both named; empty when nothing is amiss.
  virtual std::string Doubt(std::string_view /*type*/, std::string_view /*name*/) const {
    return {};
  }
};

// The files built into the program.
class EmbeddedPackageSource final : public PackageSource {
 public:
  std::optional<std::vector<std::uint8_t>> Read(std::string_view type,
                                                std::string_view name) const override;
  std::optional<std::span<const std::uint8_t>> ReadInPlace(std::string_view type,
                                                           std::string_view name) const override;
  void DoneReadingInPlace(std::span<const std::uint8_t> bytes) const override;
  std::string Origin(std::string_view type, std::string_view name) const override;
};

// A folder laid out as the build's package: each file under exactly one name,
// <TYPE>/<NAME><extension of its type> ("HEX/APPLICATION_STM32_ADAU1452.hex", see
// PackageFileName), so a package taken from a build folder loads unchanged. Any other entry that
// begins with a package file's type or name, in any letter case, and does not run on into a longer
// name ("APPLICATION_STM32_ADAU1452.hex.bak", "... (1).hex", "...~") is a doubt: someone may take
// it for the file.
class DirectoryPackageSource final : public PackageSource {
 public:
  explicit DirectoryPackageSource(std::filesystem::path directory)
      : directory_(std::move(directory)) {}
  std::optional<std::vector<std::uint8_t>> Read(std::string_view type,
                                                std::string_view name) const override;
  std::string Origin(std::string_view type, std::string_view name) const override;
  std::string Doubt(std::string_view type, std::string_view name) const override;

 private:
  std::filesystem::path directory_;
};

// The one name of a package file in a folder: "HEX/APPLICATION_STM32_ADAU1452.hex",
// "BIN/<NAME>.bin", "PROPERTIES/<NAME>.properties", "NOTES/<NAME>.txt".
std::string PackageFileName(std::string_view type, std::string_view name);

// What a variant's images came to for one job.
enum class VariantImages { Loaded, UnknownVariant, NotInPackage, Damaged };

// One file of the package as it was read: its size and SHA-256 (lower-case hex).
struct PackageFileFacts {
  std::size_t bytes = 0;
  std::string sha256;
};

// A file the package holds ("HEX/APPLICATION_STM32_ADAU1452") and where it was read from.
struct PackageFileOrigin {
  std::string file;
  std::string origin;
};

class Package {
 public:
  static std::shared_ptr<const Package> Load(const PackageSource& source);

  // One flag per row of PackageVariants: the package holds that file.
  const ImagePresenceFlags& Presence() const { return presence_; }
  // At least one application image (flash data alone does not count).
  bool HasAnyApplication() const;

  // Size and digest of the file of row `row` of PackageVariants, when the package holds it.
  std::optional<PackageFileFacts> FileFacts(std::size_t row) const;
  // The "UNIT" and "UPDATER" properties texts (empty when the package has none).
  const PropertiesContainer& UnitTexts() const { return unitTexts_; }
  const PropertiesContainer& UpdaterTexts() const { return updaterTexts_; }
  // The notes of the version rows that the package holds, by notes name ("BUILD_NOTES").
  const std::map<std::string, std::string, std::less<>>& Notes() const { return notes_; }
  // Every file the package holds, images first (in PackageVariants order), then its texts.
  const std::vector<PackageFileOrigin>& Origins() const { return origins_; }

  // Every image present was loaded once, with the parsers a job uses: empty when all loaded and
  // the source doubted no file, else the first thing amiss ("HEX/APPLICATION_STM32_ADAU1452:
  // line 12: wrong checksum ...", "BIN/FLASH_STM32_ADAU1452: the image is empty", a source's
  // Doubt). Lets a front end refuse a damaged package before any unit is contacted.
  const std::string& FirstDamage() const { return firstDamage_; }

  // Gives the job's own image objects the images of `variant` that the package holds (the others
  // are left empty): the decoded records and the flash data bytes are the package's, shared
  // read-only; each job keeps its own position in them. Damaged when either image of the
  // variant failed to load: one damaged image refuses the other too.
  VariantImages LoadVariant(std::size_t variant, CHexManager& application,
                            CBinManager& flashData) const;
  // The same, choosing the variant whose MCU family and DSP equal these texts exactly.
  VariantImages LoadVariant(std::string_view mcuFamily, std::string_view dsp,
                            CHexManager& application, CBinManager& flashData) const;

 private:
  struct File {
    std::span<const std::uint8_t> bytes;  // where the file lies: in place or in `owned`
    std::vector<std::uint8_t> owned;
    std::size_t size = 0;
    std::string sha256;  // taken before an application image's own copy is dropped
  };
  // Reads the file of that type and name and notes its origin, or a doubt about it.
  std::optional<std::vector<std::uint8_t>> ReadFile(const PackageSource& source,
                                                    std::string_view type, std::string_view name);
  void Note(const PackageSource& source, std::string_view type, std::string_view name,
            bool present);
  // Only the decoded records of an application image are needed once it is loaded: a copy of the
  // text is dropped, text in place is handed back to its source.
  void DecodeApplication(std::size_t variant, const PackageSource& source);
  void CheckFlashData(std::size_t variant);
  void NoteDamage(std::string damage);

  std::array<std::optional<File>, 2 * kPackageVariantCount> files_;
  std::array<CHexManager, kPackageVariantCount> applications_;
  // One flag per row of PackageVariants: that image is present and failed to load.
  std::array<bool, 2 * kPackageVariantCount> damaged_{};
  std::string firstDamage_;
  std::vector<PackageFileOrigin> origins_;
  ImagePresenceFlags presence_{};
  PropertiesContainer unitTexts_;
  PropertiesContainer updaterTexts_;
  std::map<std::string, std::string, std::less<>> notes_;
};

// The program's own package, loaded on first use and shared by every job of the process.
std::shared_ptr<const Package> EmbeddedPackage();

}  // namespace tessaline
