// Resources of the program's own module, looked up by type and name.
#include "platform/module_resources.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaline::platform {
namespace {

TEST(ModuleResources, FindsABuiltInResourceByTypeAndName) {
  const auto bytes = FindModuleResource("PROBE", "TESSALINE_PROBE");
  ASSERT_TRUE(bytes.has_value());
  const std::string expected("Tessaline probe\x00\x01\xff", 18);
  ASSERT_EQ(bytes->size(), expected.size());
  EXPECT_TRUE(std::equal(bytes->begin(), bytes->end(),
                         reinterpret_cast<const std::uint8_t*>(expected.data())));
}

TEST(ModuleResources, AbsentResourcesAreEmpty) {
  EXPECT_FALSE(FindModuleResource("PROBE", "NO_SUCH_NAME").has_value());
  EXPECT_FALSE(FindModuleResource("NO_SUCH_TYPE", "TESSALINE_PROBE").has_value());
}

}  // namespace
}  // namespace tessaline::platform
