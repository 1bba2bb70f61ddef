// What the user sees for a serial port device name.
#include <gtest/gtest.h>

#include "transport/com_port_table.h"

namespace tessaline {
namespace {

TEST(PortLabel, DropsTheDeviceNamespacePrefixOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {R"(\\.\COM3)", "COM3"},          {R"(\\.\COM255)", "COM255"},    {"COM4", "COM4"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"}, {R"(\\?\COM5)", R"(\\?\COM5)"}, {"", ""},
  };
  for (const auto& [device, label] : cases) EXPECT_EQ(PortLabel(device), label) << device;
}

}  // namespace
}  // namespace tessaline
