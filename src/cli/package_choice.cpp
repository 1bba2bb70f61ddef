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
      choice.exitCode = kExitNotFound;
      choice.result = "not-found";
      choice.text = "The package folder " + *directory + " cannot be read" +
                    (error ? ": " + error.message() : std::string(": it is not a folder")) + ".";
      return choice;
    }
    choice.package = Package::Load(DirectoryPackageSource(path));
  } else {
    choice.package = EmbeddedPackage();
  }
  if (const std::string damage = choice.package->FirstDamage(); !damage.empty()) {
    choice.package = nullptr;
    choice.exitCode = kExitPackageRefused;
    choice.result = "package-refused";
    choice.text = "The package is damaged (" + damage + "); nothing was sent.";
    return choice;
  }
  return choice;
}

PackageChoice ChoosePackageForUpdate(const CommandLine& line, bool firmware) {
  PackageChoice choice = ChoosePackage(line);
  if (choice.package && firmware && !choice.package->HasAnyApplication()) {
    choice.package = nullptr;
    choice.exitCode = kExitPackageRefused;
    choice.result = "package-refused";
    choice.text =
        "The package holds no application image, so it cannot update firmware; "
        "nothing was sent.";
  }
  return choice;
}

std::string DiscoveryIdentity(const Package& package) {
  return AnnounceIdentity(package.UnitTexts().GetString("announce-model"));
}

}  // namespace tessaline::cli
