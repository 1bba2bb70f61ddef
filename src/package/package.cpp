// Loading the package once and handing each job the images of its unit's variant.
#include "package/package.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "platform/digest.h"
#include "platform/module_resources.h"

namespace tessaline {

std::optional<std::vector<std::uint8_t>> EmbeddedPackageSource::Read(std::string_view type,
                                                                     std::string_view name) const {
  const auto bytes = platform::FindModuleResource(type, name);
  if (!bytes) return std::nullopt;
  return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

std::optional<std::span<const std::uint8_t>> EmbeddedPackageSource::ReadInPlace(
    std::string_view type, std::string_view name) const {
  return platform::FindModuleResource(type, name);
}

void EmbeddedPackageSource::DoneReadingInPlace(std::span<const std::uint8_t> bytes) const {
  platform::ReleaseResourcePages(bytes);
}

std::string EmbeddedPackageSource::Origin(std::string_view /*type*/,
                                          std::string_view /*name*/) const {
  return "built in";
}

namespace {

// The extension each type's files have in the build's package folder.
std::string_view FileExtension(std::string_view type) {
  if (type == kHexResourceType) return ".hex";
  if (type == kBinResourceType) return ".bin";
  if (type == kPropertiesResourceType) return ".properties";
  if (type == kNotesResourceType) return ".txt";
  return "";
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Letters, digits and '_' carry a name on: "APPLICATION_STM32_ADAU1452_OLD" is another name.
bool ContinuesName(char c) {
  const char upper = AsciiUpper(c);
  return (upper >= 'A' && upper <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// `entry` is not `exact` but could be taken for it: it begins with `stem` in any letter case,
// and the stem does not run on into a longer name.
bool LooksLike(std::string_view entry, std::string_view stem, std::string_view exact) {
  if (entry == exact || entry.size() < stem.size()) return false;
  if (!std::ranges::equal(entry.substr(0, stem.size()), stem, {}, AsciiUpper, AsciiUpper)) {
    return false;
  }
  return entry.size() == stem.size() || !ContinuesName(entry[stem.size()]);
}

// The first entry of `directory`, by name, that could be taken for `exact`; empty when none
// (also when the directory cannot be listed: then nothing can be read from it either).
std::string FirstLookalike(const std::filesystem::path& directory, std::string_view stem,
                           std::string_view exact) {
  std::error_code error;
  std::filesystem::directory_iterator entry(directory, error);
  std::string first;
  for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    const std::string name = Utf8(entry->path().filename());
    if (LooksLike(name, stem, exact) && (first.empty() || name < first)) first = name;
  }
  return first;
}

}  // namespace

std::string PackageFileName(std::string_view type, std::string_view name) {
  return std::string(type) + "/" + std::string(name) + std::string(FileExtension(type));
}

std::optional<std::vector<std::uint8_t>> DirectoryPackageSource::Read(std::string_view type,
                                                                      std::string_view name) const {
  const auto path = directory_ / std::filesystem::path(PackageFileName(type, name));
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
  if (file.bad()) return std::nullopt;
  return bytes;
}

std::string DirectoryPackageSource::Origin(std::string_view type, std::string_view name) const {
  return Utf8(directory_ / std::filesystem::path(PackageFileName(type, name)));
}

std::string DirectoryPackageSource::Doubt(std::string_view type, std::string_view name) const {
  const std::string file = PackageFileName(type, name);
  const std::string typeName(type);
  if (const std::string other = FirstLookalike(directory_, type, type); !other.empty()) {
    return other + " could be taken for " + typeName + "; rename or remove it";
  }
  const std::string fileName = file.substr(typeName.size() + 1);
  if (const std::string other = FirstLookalike(directory_ / typeName, name, fileName);
      !other.empty()) {
    return typeName + "/" + other + " could be taken for " + file + "; rename or remove it";
  }
  const std::filesystem::path path = directory_ / std::filesystem::path(file);
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) return {};
  if (!std::filesystem::is_regular_file(status)) return file + " is not a file";
  if (!std::ifstream(path, std::ios::binary)) return file + " cannot be read";
  return {};
}

std::shared_ptr<const Package> Package::Load(const PackageSource& source) {
  auto package = std::make_shared<Package>();
  for (std::size_t row = 0; row < PackageVariants.size(); ++row) {
    const PackageVariant& variant = PackageVariants[row];
    auto& file = package->files_[row];
    // Assigned rather than emplaced: clang 14 judges the nested File not default-constructible.
    if (const auto inPlace = source.ReadInPlace(variant.type, variant.resource)) {
      file = File{};
      file->bytes = *inPlace;
    } else if (auto bytes = source.Read(variant.type, variant.resource)) {
      file = File{};
      file->owned = std::move(*bytes);
      file->bytes = file->owned;
    }
    if (file) file->size = file->bytes.size();
    package->presence_[row] = file.has_value();
    package->Note(source, variant.type, variant.resource, file.has_value());
  }
  if (const auto text = package->ReadFile(source, kPropertiesResourceType, "UNIT")) {
    package->unitTexts_.LoadFromMemory(*text);
  }
  if (const auto text = package->ReadFile(source, kPropertiesResourceType, "UPDATER")) {
    package->updaterTexts_.LoadFromMemory(*text);
  }
  for (const VersionRow& row : VersionTable) {
    if (const auto text = package->ReadFile(source, kNotesResourceType, row.notes)) {
      package->notes_.emplace(std::string(row.notes), std::string(text->begin(), text->end()));
    }
  }
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    package->DecodeApplication(variant, source);
    package->CheckFlashData(variant);
  }
  return package;
}

std::optional<std::vector<std::uint8_t>> Package::ReadFile(const PackageSource& source,
                                                           std::string_view type,
                                                           std::string_view name) {
  auto bytes = source.Read(type, name);
  Note(source, type, name, bytes.has_value());
  return bytes;
}

void Package::Note(const PackageSource& source, std::string_view type, std::string_view name,
                   bool present) {
  NoteDamage(source.Doubt(type, name));
  if (present) {
    origins_.push_back({std::string(type) + "/" + std::string(name), source.Origin(type, name)});
  }
}

void Package::NoteDamage(std::string damage) {
  if (firstDamage_.empty()) firstDamage_ = std::move(damage);
}

void Package::DecodeApplication(std::size_t variant, const PackageSource& source) {
  const std::size_t row = ApplicationRow(variant);
  auto& file = files_[row];
  if (!file) return;
  CHexManager& application = applications_[variant];
  if (!application.LoadFromMemory(file->bytes)) {
    damaged_[row] = true;
    const PackageVariant& image = PackageVariants[row];
    NoteDamage(std::string(image.type) + "/" + std::string(image.resource) + ": " +
               application.LastError());
  }
  if (file->owned.empty()) {
    source.DoneReadingInPlace(file->bytes);
    return;
  }
  file->sha256 = platform::Sha256Hex(file->bytes);
  file->bytes = {};
  std::vector<std::uint8_t>().swap(file->owned);
}

void Package::CheckFlashData(std::size_t variant) {
  const std::size_t row = FlashDataRow(variant);
  const auto& file = files_[row];
  if (!file) return;
  // The rule every flash data load follows, so a job never meets an image it would refuse.
  CBinManager image;
  if (!image.LoadFromMemory(file->bytes)) {
    damaged_[row] = true;
    const PackageVariant& flashData = PackageVariants[row];
    NoteDamage(std::string(flashData.type) + "/" + std::string(flashData.resource) + ": " +
               image.LastError());
  }
}

std::optional<PackageFileFacts> Package::FileFacts(std::size_t row) const {
  const auto& file = files_[row];
  if (!file) return std::nullopt;
  return PackageFileFacts{file->size,
                          file->sha256.empty() ? platform::Sha256Hex(file->bytes) : file->sha256};
}

bool Package::HasAnyApplication() const { return tessaline::HasAnyApplication(presence_); }

VariantImages Package::LoadVariant(std::size_t variant, CHexManager& application,
                                   CBinManager& flashData) const {
  application.ClearRecords();
  flashData.ReleaseImage();
  if (variant >= kPackageVariantCount) return VariantImages::UnknownVariant;
  const bool hex = files_[ApplicationRow(variant)].has_value();
  const auto& bin = files_[FlashDataRow(variant)];
  if (!hex && !bin) return VariantImages::NotInPackage;
  if (hex) application.ShareRecordsOf(applications_[variant]);
  if (bin) flashData.LoadFromMemory(bin->bytes);
  if (damaged_[ApplicationRow(variant)] || damaged_[FlashDataRow(variant)]) {
    return VariantImages::Damaged;
  }
  return VariantImages::Loaded;
}

VariantImages Package::LoadVariant(std::string_view mcuFamily, std::string_view dsp,
                                   CHexManager& application, CBinManager& flashData) const {
  const auto variant = SelectVariant(mcuFamily, dsp);
  if (!variant) return VariantImages::UnknownVariant;
  return LoadVariant(*variant, application, flashData);
}

std::shared_ptr<const Package> EmbeddedPackage() {
  static const std::shared_ptr<const Package> package = Package::Load(EmbeddedPackageSource{});
  return package;
}

}  // namespace tessaline
