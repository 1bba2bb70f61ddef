// A package folder: each file taken by its one name, and refused when another could be taken for
// it.
#include <gtest/gtest.h>

#include "package/package.h"
#include "package/temp_file.h"

namespace tessaline {
namespace {

TEST(PackageFolder, TakesEachFileByItsOneNameAndRefusesAnyOtherThatCouldBeTakenForIt) {
  const std::string hex = "HEX/APPLICATION_STM32_ADAU1452.hex";
  const std::string bin = "BIN/FLASH_STM32_ADAU1452.bin";
  const std::string unit = "PROPERTIES/UNIT.properties";
  const struct {
    std::string extra;     // added to a good folder
    std::string takenFor;  // the file `extra` could be taken for; empty: the folder is taken
  } cases[] = {
      {"HEX/APPLICATION_STM32_ADAU1452_OLD.hex", ""},  // a longer name is another file
      {"HEX/APPLICATION_STM32_ADAU1452.hex.bak", hex},
      {"BIN/FLASH_STM32_ADAU1452.bin~", bin},
      {"BIN/FLASH_STM32_ADAU1452.old", bin},
      {"HEX/APPLICATION_STM32_ADAU1452.v1.hex", hex},
      {"HEX/APPLICATION_STM32_ADAU1452 (1).hex", hex},
      {"HEX/application_stm32_adau1452.hex", hex},
      {"PROPERTIES/UNIT", unit},
      {"NOTES/BUILD_NOTES.md", "NOTES/BUILD_NOTES.txt"},  // its file is missing
      {"hex/", "HEX"},
  };
  for (const auto& c : cases) {
    const test::TempFolder folder({{hex, ":0100000055AA\n:00000001FF\n"},
                                   {bin, "flash"},
                                   {unit, "build-version = V7.0\n"},
                                   {c.extra, "extra"}});
    const std::string shown = c.extra.ends_with('/') ? c.extra.substr(0, 3) : c.extra;
    // A file system that ignores letter case made the two one: there is no second file.
    std::error_code error;
    if (std::filesystem::equivalent(folder.Path() / shown, folder.Path() / c.takenFor, error)) {
      continue;
    }
    const auto package = Package::Load(DirectoryPackageSource(folder.Path()));
    EXPECT_EQ(package->FirstDamage(),
              c.takenFor.empty()
                  ? ""
                  : shown + " could be taken for " + c.takenFor + "; rename or remove it");
    if (!c.takenFor.empty()) continue;
    // Only the exact files, and nothing for what the folder lacks (no notes).
    EXPECT_EQ(package->FileFacts(0)->bytes, 26u);
    EXPECT_EQ(package->UnitTexts().GetString("build-version"), "V7.0");
    ASSERT_EQ(package->Origins().size(), 3u);
    const std::u8string path = (folder.Path() / hex).u8string();
    EXPECT_EQ(package->Origins()[0].origin, std::string(path.begin(), path.end()));
  }
}

}  // namespace
}  // namespace tessaline
