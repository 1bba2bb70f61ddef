// A package whose application image is damaged: refused before anything reaches a unit.
#include <gtest/gtest.h>

#include <memory>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "package/package.h"
#include "package/temp_file.h"

namespace tessaline {
namespace {

TEST(DamagedPackage, PresenceIsCheckedButTheImageIsRefusedOnLoad) {
  const auto package = EmbeddedPackage();
  EXPECT_TRUE(package->HasAnyApplication());  // only existence counts at start-up

  CHexManager application;
  CBinManager flashData;
  EXPECT_EQ(package->LoadVariant("STM32", "ADAU1452", application, flashData),
            VariantImages::Damaged);
  EXPECT_EQ(application.LastError(), "line 3: wrong checksum DB (expected DE)");
  EXPECT_EQ(application.RecordCount(), 0u);
  // The flash data alone loads, but does not rescue the damaged application.
  EXPECT_TRUE(flashData.LoadFromResource("FLASH_STM32_ADAU1452"));
  EXPECT_EQ(flashData.GetImageSize(), 14u);
}

// Images the unit would refuse only after erasing its memory: refused whichever way they load.
TEST(DamagedPackage, ImagesTheUnitWouldRefuseAfterAnEraseAreRefusedOnLoad) {
  const std::string end = ":0100000055AA\r\n:00000001FF\r\n";
  const auto folder = [&](std::string hexLine, std::string flashData) {
    return std::make_shared<test::TempFolder>(std::map<std::string, std::string>{
        {"HEX/APPLICATION_STM32_ADAU1452.hex", hexLine + "\r\n" + end},
        {"BIN/FLASH_STM32_ADAU1452.bin", flashData}});
  };
  struct Case {
    const char* what;
    std::shared_ptr<test::TempFolder> folder;  // null: the package built into this test
    const char* mcuFamily;
    std::string damage;  // FirstDamage of a folder
    std::string flashDataError;
  };
  const std::string hexDamage = "HEX/APPLICATION_STM32_ADAU1452: line 1: record type ";
  const Case cases[] = {
      {"empty flash data built in", nullptr, "GD32", "", "the image is empty"},
      {"empty flash data in a folder", folder(":020000040802F0", ""), "STM32",
       "BIN/FLASH_STM32_ADAU1452: the image is empty", "the image is empty"},
      {"extended segment address", folder(":020000021000EC", "flash"), "STM32",
       hexDamage + "02 is not one the unit takes", ""},
      {"start segment address", folder(":0400000300003800C1", "flash"), "STM32",
       hexDamage + "03 is not one the unit takes", ""},
      {"no such type", folder(":00000006FA", "flash"), "STM32",
       hexDamage + "06 is not one the unit takes", ""},
  };
  for (const Case& c : cases) {
    const auto package =
        c.folder ? Package::Load(DirectoryPackageSource(c.folder->Path())) : EmbeddedPackage();
    if (c.folder) {
      EXPECT_EQ(package->FirstDamage(), c.damage) << c.what;
    }
    CHexManager application;
    CBinManager flashData;
    EXPECT_EQ(package->LoadVariant(c.mcuFamily, "ADAU1452", application, flashData),
              VariantImages::Damaged)
        << c.what;
    EXPECT_EQ(flashData.LastError(), c.flashDataError) << c.what;
  }
}

TEST(DamagedPackage, PropertiesResourceLineEdges) {
  const auto package = EmbeddedPackage();
  const PropertiesContainer& unit = package->UnitTexts();
  EXPECT_EQ(unit.GetString("model"), "Damaged");
  EXPECT_EQ(unit.GetString("build-version"), "V0.0");
  EXPECT_EQ(unit.GetString("no-line-end"), "lost");  // its line has no line end yet counts
  ASSERT_NE(unit.Lookup(""), nullptr);               // the leading line end
  EXPECT_EQ(unit.Size(), 4u);
  // No "UPDATER" text in this package: every look-up reads empty.
  EXPECT_EQ(package->UpdaterTexts().Size(), 0u);
  EXPECT_EQ(package->UpdaterTexts().GetString("update-warning"), "");
}

}  // namespace
}  // namespace tessaline
