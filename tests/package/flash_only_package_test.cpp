// A package with flash data but no application image counts as holding no application.
#include <gtest/gtest.h>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "package/package.h"
#include "platform/module_resources.h"

namespace tessaline {
namespace {

TEST(FlashOnlyPackage, ThePackageHoldsNoApplication) {
  const auto package = EmbeddedPackage();
  EXPECT_FALSE(package->HasAnyApplication());
  const ImagePresenceFlags expected{false, true, false, false, false, false, false, false};
  EXPECT_EQ(package->Presence(), expected);
}

TEST(FlashOnlyPackage, StartUpCanStillShowTheNoHexFileText) {
  const auto package = EmbeddedPackage();
  const std::string& text = package->UpdaterTexts().GetString("error-message.NoHexFile");
  EXPECT_EQ(text.rfind("No application specified in this build.", 0), 0u);
  EXPECT_NE(text.find("support@brume-electronics.com"), std::string::npos);
  EXPECT_EQ(package->UnitTexts().GetString("model"), "Tessaline");
}

TEST(FlashOnlyPackage, TheApplicationImageCannotBeLoaded) {
  CHexManager image;
  EXPECT_FALSE(image.LoadHexResource("APPLICATION_STM32_ADAU1452"));
  EXPECT_EQ(image.RecordCount(), 0u);
  EXPECT_FALSE(platform::FindModuleResource("NOTES", "BUILD_NOTES"));
  CBinManager flashData;
  EXPECT_EQ(EmbeddedPackage()->LoadVariant("STM32", "ADAU1452", image, flashData),
            VariantImages::Loaded);
  EXPECT_EQ(image.RecordCount(), 0u);
  EXPECT_GT(flashData.GetImageSize(), 0u);
}

}  // namespace
}  // namespace tessaline
