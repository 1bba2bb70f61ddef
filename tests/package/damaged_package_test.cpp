// A package whose application image is damaged: refused before anything reaches a unit.
#include <gtest/gtest.h>

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

// Images the unit would refuse only after an erase: refused on load, built in or in a folder.
TEST(DamagedPackage, ImagesTheUnitWouldRefuseAfterAnEraseAreRefusedOnLoad) {
  const struct {
    std::string hexLine;  // empty: the package built in, whose GD32 flash data is empty
    std::string flashData;
    std::string damage;
  } cases[] = {
      {"", "", ""},
      {":020000040802F0", "", "BIN/FLASH_STM32_ADAU1452: the image is empty"},
      {":020000021000EC", "flash", "HEX/APPLICATION_STM32_ADAU1452: line 1: record type 02"},
      {":0400000300003800C1", "flash", "HEX/APPLICATION_STM32_ADAU1452: line 1: record type 03"},
      {":00000006FA", "flash", "HEX/APPLICATION_STM32_ADAU1452: line 1: record type 06"},
  };
  for (const auto& c : cases) {
    const test::TempFolder folder(
        {{"HEX/APPLICATION_STM32_ADAU1452.hex", c.hexLine + "\n:0100000055AA\n:00000001FF\n"},
         {"BIN/FLASH_STM32_ADAU1452.bin", c.flashData}});
    const bool builtIn = c.hexLine.empty();
    const auto package =
        builtIn ? EmbeddedPackage() : Package::Load(DirectoryPackageSource(folder.Path()));
    if (!builtIn) {
      const std::string rule = c.flashData.empty() ? "" : " is not one the unit takes";
      EXPECT_EQ(package->FirstDamage(), c.damage + rule);
    }
    CHexManager application;
    CBinManager flashData;
    EXPECT_EQ(package->LoadVariant(builtIn ? "GD32" : "STM32", "ADAU1452", application, flashData),
              VariantImages::Damaged)
        << c.hexLine;
    EXPECT_EQ(flashData.LastError(), c.flashData.empty() ? "the image is empty" : "");
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
