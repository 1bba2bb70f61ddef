// The Windows port scan tries COM1 to COM255 by their device names.
#include <gtest/gtest.h>

#include "platform/serial_port.h"

namespace tessaline::platform {
namespace {

TEST(SerialPortCandidates, AreTheDeviceNamesOfCom1ToCom255) {
  const std::vector<std::string> names = SerialPortCandidates();
  ASSERT_EQ(names.size(), 255u);
  EXPECT_EQ(names.front(), R"(\\.\COM1)");
  EXPECT_EQ(names[9], R"(\\.\COM10)");
  EXPECT_EQ(names.back(), R"(\\.\COM255)");
}

TEST(SerialPort, OpenFailsForAnAbsentPort) {
  SerialPort port;
  EXPECT_FALSE(port.Open(R"(\\.\COM254)"));
  EXPECT_FALSE(port.IsOpen());
}

}  // namespace
}  // namespace tessaline::platform
