// Loading the package once and handing each job the images of its unit's variant.
#include "package/package.h"

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

std::shared_ptr<const Package> Package::Load(const PackageSource& source) {
  auto package = std::make_shared<Package>();
  for (std::size_t row = 0; row < PackageVariants.size(); ++row) {
    package->files_[row] = source.Read(PackageVariants[row].type, PackageVariants[row].resource);
    package->presence_[row] = package->files_[row].has_value();
  }
  return package;
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
