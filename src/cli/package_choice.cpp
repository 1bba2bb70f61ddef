// Choosing and checking the package of a command.
#include "cli/package_choice.h"

#include <filesystem>
#include <system_error>

#include "cli/exit_codes.h"
#include "discovery/network_discovery.h"

namespace tessaline::cli {

PackageChoice ChoosePackage(const CommandLine& line) {
  PackageChoice choice;
  if (const auto directory = line.Value("package")) {
    const std::filesystem::path path(std::u8string(directory->begin(), directory->end()));
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
      return {nullptr, kExitNotFound, "not-found",
              "The package folder " + *directory + " cannot be read" +
                  (error ? ": " + error.message() : std::string(": it is not a folder")) + "."};
    }
    choice.package = Package::Load(DirectoryPackageSource(path));
  } else {
    choice.package = EmbeddedPackage();
  }
  if (const std::string damage = choice.package->FirstDamage(); !damage.empty()) {
    return {nullptr, kExitPackageRefused, "package-refused",
            "The package is damaged (" + damage + "); nothing was sent."};
  }
  return choice;
}

PackageChoice ChoosePackageForUpdate(const CommandLine& line, bool firmware) {
  PackageChoice choice = ChoosePackage(line);
  if (choice.package && firmware && !choice.package->HasAnyApplication()) {
    return {nullptr, kExitPackageRefused, "package-refused",
            "The package holds no application image, so it cannot update firmware; nothing was "
            "sent."};
  }
  return choice;
}

std::string DiscoveryIdentity(const Package& package) {
  return AnnounceIdentity(package.UnitTexts().GetString("announce-model"));
}

}  // namespace tessaline::cli
