// Loading the package once and handing each job the images of its unit's variant.
#include "package/package.h"

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

std::optional<std::vector<std::uint8_t>> DirectoryPackageSource::Read(std::string_view type,
                                                                      std::string_view name) const {
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator(directory_ / std::filesystem::path(type), error)) {
    const std::string fileName = entry.path().filename().string();
    // The name runs up to the first dot, as the build's embedding reads it.
    if (fileName.substr(0, fileName.find('.')) != name) continue;
    std::error_code kindError;
    if (!entry.is_regular_file(kindError)) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>()};
    if (file.bad()) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
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
  }
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    package->DecodeApplication(variant, source);
  }
  if (const auto text = source.Read(kPropertiesResourceType, "UNIT")) {
    package->unitTexts_.LoadFromMemory(*text);
  }
  if (const auto text = source.Read(kPropertiesResourceType, "UPDATER")) {
    package->updaterTexts_.LoadFromMemory(*text);
  }
  for (const VersionRow& row : VersionTable) {
    if (const auto text = source.Read(kNotesResourceType, row.notes)) {
      package->notes_.emplace(std::string(row.notes), std::string(text->begin(), text->end()));
    }
  }
  return package;
}

void Package::DecodeApplication(std::size_t variant, const PackageSource& source) {
  auto& file = files_[ApplicationRow(variant)];
  if (!file) return;
  CHexManager& application = applications_[variant];
  if (!application.LoadFromMemory(file->bytes)) {
    applicationDamaged_[variant] = true;
    if (firstDamage_.empty()) {
      const PackageVariant& row = PackageVariants[ApplicationRow(variant)];
      firstDamage_ = std::string(row.type) + "/" + std::string(row.resource) + ": " +
                     application.LastError();
    }
  }
  if (file->owned.empty()) {
    source.DoneReadingInPlace(file->bytes);
    return;
  }
  file->sha256 = platform::Sha256Hex(file->bytes);
  file->bytes = {};
  std::vector<std::uint8_t>().swap(file->owned);
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
  if (applicationDamaged_[variant]) return VariantImages::Damaged;
  if (bin) flashData.LoadFromMemory(bin->bytes);
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
