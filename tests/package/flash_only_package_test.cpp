// A package with flash data but no application image counts as holding no application.
#include <gtest/gtest.h>

#include "package/package_contents.h"
#include "package/package_globals.h"
#include "platform/module_resources.h"
#include "shell/settings.h"

namespace tessaline {
namespace {

TEST(FlashOnlyPackage, CheckPackageFindsNoApplication) {
  OverwriteFirmware = true;
  PackageHasApplication = true;
  EXPECT_FALSE(CheckPackage());
  const ImagePresenceFlags expected{false, true, false, false, false, false, false, false};
  EXPECT_EQ(ImagePresence(), expected);
  EXPECT_FALSE(PackageHasApplication);
  EXPECT_FALSE(OverwriteFirmware);
}

TEST(FlashOnlyPackage, StartUpCanStillShowTheNoHexFileText) {
  LoadPackageProperties();
  const std::string& text = UpdaterProperties().GetString("error-message.NoHexFile");
  EXPECT_EQ(text.rfind("No application specified in this build.", 0), 0u);
  EXPECT_NE(text.find("support@brume-electronics.com"), std::string::npos);
  EXPECT_EQ(UnitProperties().GetString("model"), "Tessaline");
}

TEST(FlashOnlyPackage, TheApplicationImageCannotBeLoaded) {
  CHexManager& image = ApplicationImage();
  EXPECT_FALSE(image.LoadHexResource("APPLICATION_STM32_ADAU1452"));
  EXPECT_EQ(image.RecordCount(), 0u);
  EXPECT_FALSE(platform::FindModuleResource("NOTES", "BUILD_NOTES"));
  EXPECT_TRUE(FlashDataImage().LoadFromResource("FLASH_STM32_ADAU1452"));
}

}  // namespace
}  // namespace tessaline
