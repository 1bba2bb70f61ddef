// USB serial adapters read from a fake sysfs and /dev/serial laid out in a temporary folder.
#include "platform/serial_adapters.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace tessaline::platform {
namespace {

namespace fs = std::filesystem;

class FakeSystem {
 public:
  FakeSystem() : root_(fs::path(::testing::TempDir()) / ("adapters-" + std::to_string(getpid()))) {
    fs::remove_all(root_);
  }
  ~FakeSystem() { fs::remove_all(root_); }
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  // A tty with its driver and, when given, the latency timer sysfs shows for it.
  void Tty(const std::string& name, const std::string& driver, const std::string& latency = {}) {
    const fs::path device = root_ / "sys/class/tty" / name / "device";
    fs::create_directories(device);
    if (!driver.empty()) fs::create_directory_symlink("../../../bus/drivers/" + driver, device / "driver");
    if (!latency.empty()) std::ofstream(device / "latency_timer") << latency << "\n";
  }
  void Link(const std::string& folder, const std::string& name, const std::string& tty) {
    fs::create_directories(root_ / "dev/serial" / folder);
    fs::create_symlink("../../" + tty, root_ / "dev/serial" / folder / name);
  }
  std::string Root() const { return root_.string(); }

 private:
  fs::path root_;
};

TEST(SerialAdapters, ReadsNameDriverAndLatencyFromTheSystemTree) {
  FakeSystem system;
  system.Tty("ttyUSB10", "cp210x");
  system.Tty("ttyUSB2", "ftdi_sio", "16");
  system.Tty("ttyACM0", "cdc_acm");
  system.Tty("ttyS0", "serial8250");
  system.Link("by-path", "pci-0000:00:14.0-usb-0:2:1.0-port0", "ttyUSB2");
  system.Link("by-id", "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0", "ttyUSB2");
  system.Link("by-path", "pci-0000:00:14.0-usb-0:3:1.0-port0", "ttyUSB10");

  struct Expected {
    std::string device, stableName, driver;
    std::optional<std::uint32_t> latency;
  };
  const Expected expected[] = {
      {"/dev/ttyACM0", "", "cdc_acm", std::nullopt},
      {"/dev/ttyUSB2", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0",
       "ftdi_sio", 16},
      {"/dev/ttyUSB10", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0", "cp210x",
       std::nullopt},
  };
  const auto adapters = ReadSerialAdapters(system.Root());
  ASSERT_EQ(adapters.size(), std::size(expected)) << "ttyS0 is no USB adapter";
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    SCOPED_TRACE(expected[i].device);
    EXPECT_EQ(adapters[i].device, expected[i].device);
    EXPECT_EQ(adapters[i].stableName, expected[i].stableName);
    EXPECT_EQ(adapters[i].driver, expected[i].driver);
    EXPECT_EQ(adapters[i].latencyTimerMs, expected[i].latency);
    EXPECT_EQ(StableSerialName(expected[i].device, system.Root()), expected[i].stableName);
  }
  EXPECT_EQ(LatencyRemedy(adapters[1]),
            "Run: echo 1 | sudo tee /sys/class/tty/ttyUSB2/device/latency_timer (until the "
            "adapter is replugged; a udev rule makes it last)");
  EXPECT_TRUE(ReadSerialAdapters(system.Root() + "/missing").empty());
}

}  // namespace
}  // namespace tessaline::platform
