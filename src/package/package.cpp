// Loading the package once and handing each job the images of its unit's variant.
#include "package/package.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "platform/module_resources.h"

namespace tessaline {

std::optional<std::vector<std::uint8_t>> EmbeddedPackageSource::Read(std::string_view type,
                                                                     std::string_view name) const {
  const auto bytes = platform::FindModuleResource(type, name);
  if (!bytes) return std::nullopt;
  return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
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
    package->files_[row] = source.Read(PackageVariants[row].type, PackageVariants[row].resource);
    package->presence_[row] = package->files_[row].has_value();
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

std::string Package::FirstDamage() const {
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    const auto& hex = files_[ApplicationRow(variant)];
    if (!hex) continue;
    CHexManager application;
    if (!application.LoadFromMemory(*hex)) {
      const PackageVariant& row = PackageVariants[ApplicationRow(variant)];
      return std::string(row.type) + "/" + std::string(row.resource) + ": " +
             application.LastError();
    }
  }
  // Flash data is opaque bytes: any file of it loads.
  return {};
}

bool Package::HasAnyApplication() const { return tessaline::HasAnyApplication(presence_); }

VariantImages Package::LoadVariant(std::size_t variant, CHexManager& application,
                                   CBinManager& flashData) const {
  application.ClearRecords();
  flashData.ReleaseImage();
  if (variant >= kPackageVariantCount) return VariantImages::UnknownVariant;
  const auto& hex = files_[ApplicationRow(variant)];
  const auto& bin = files_[FlashDataRow(variant)];
  if (!hex && !bin) return VariantImages::NotInPackage;
  if (hex && !application.LoadFromMemory(*hex)) return VariantImages::Damaged;
  if (bin) flashData.LoadFromMemory(*bin);
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
