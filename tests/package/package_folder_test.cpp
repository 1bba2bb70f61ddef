// A package folder: each file taken by its one name, and refused when another could be taken for
// it.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "package/package.h"
#include "package/temp_file.h"

namespace tessaline {
namespace {

constexpr char kHex[] = "HEX/APPLICATION_STM32_ADAU1452.hex";
constexpr char kBin[] = "BIN/FLASH_STM32_ADAU1452.bin";
constexpr char kUnit[] = "PROPERTIES/UNIT.properties";

TEST(PackageFolder, TakesEachFileByItsOneNameAndRefusesAnyOtherThatCouldBeTakenForIt) {
  const std::string hex = ":0100000055AA\r\n:00000001FF\r\n";
  const std::map<std::string, std::string> good = {
      {kHex, hex}, {kBin, "flash"}, {kUnit, "build-version = V7.0\r\n"}};
  struct Case {
    const char* what;
    std::string extraFile;  // added to the good folder ("" adds nothing)
    std::string damage;     // "" when the folder is taken
  };
  const auto takenFor = [](const std::string& other, const std::string& file) {
    return other + " could be taken for " + file + "; rename or remove it";
  };
  const Case cases[] = {
      {"exact names", "", ""},
      {"a longer name is another file", "HEX/APPLICATION_STM32_ADAU1452_OLD.hex", ""},
      {"a backup", "HEX/APPLICATION_STM32_ADAU1452.hex.bak",
       takenFor("HEX/APPLICATION_STM32_ADAU1452.hex.bak", kHex)},
      {"an editor's copy", "BIN/FLASH_STM32_ADAU1452.bin~",
       takenFor("BIN/FLASH_STM32_ADAU1452.bin~", kBin)},
      {"an old one", "BIN/FLASH_STM32_ADAU1452.old",
       takenFor("BIN/FLASH_STM32_ADAU1452.old", kBin)},
      {"a second extension", "HEX/APPLICATION_STM32_ADAU1452.v1.hex",
       takenFor("HEX/APPLICATION_STM32_ADAU1452.v1.hex", kHex)},
      {"a copy", "HEX/APPLICATION_STM32_ADAU1452 (1).hex",
       takenFor("HEX/APPLICATION_STM32_ADAU1452 (1).hex", kHex)},
      {"another letter case", "HEX/application_stm32_adau1452.hex",
       takenFor("HEX/application_stm32_adau1452.hex", kHex)},
      {"no extension", "PROPERTIES/UNIT", takenFor("PROPERTIES/UNIT", kUnit)},
      {"a lookalike of a missing file", "NOTES/BUILD_NOTES.md",
       takenFor("NOTES/BUILD_NOTES.md", "NOTES/BUILD_NOTES.txt")},
      {"a lookalike of a type folder", "hex/", takenFor("hex", "HEX")},
  };
  for (const Case& c : cases) {
    auto files = good;
    if (!c.extraFile.empty()) files[c.extraFile] = "extra";
    const test::TempFolder folder(files);
    const auto package = Package::Load(DirectoryPackageSource(folder.Path()));
    EXPECT_EQ(package->FirstDamage(), c.damage) << c.what;
    if (!c.damage.empty()) continue;
    // Taken: the exact files, and nothing for what the folder lacks.
    const ImagePresenceFlags expected{true, true, false, false, false, false, false, false};
    EXPECT_EQ(package->Presence(), expected) << c.what;
    EXPECT_EQ(package->FileFacts(0)->bytes, hex.size()) << c.what;
    EXPECT_EQ(package->UnitTexts().GetString("build-version"), "V7.0") << c.what;
    EXPECT_TRUE(package->Notes().empty()) << c.what;
    ASSERT_EQ(package->Origins().size(), 3u) << c.what;
    EXPECT_EQ(package->Origins()[0].file, "HEX/APPLICATION_STM32_ADAU1452");
    const std::u8string path = (folder.Path() / kHex).u8string();
    EXPECT_EQ(package->Origins()[0].origin, std::string(path.begin(), path.end()));
  }
}

}  // namespace
}  // namespace tessaline
