// A package whose application image is damaged: refused before anything reaches a unit.
#include <gtest/gtest.h>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "package/package.h"

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
