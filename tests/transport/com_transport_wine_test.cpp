// The serial transport on Windows over a null-modem loop: COM7 and COM8 are two ends of one line.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/clock.h"
#include "platform/threading.h"
#include "transport/com_port_table.h"
#include "transport/com_transport.h"

namespace tessaline {
namespace {

constexpr const char* kHostEnd = R"(\\.\COM7)";
constexpr const char* kUnitEnd = R"(\\.\COM8)";

std::string Collect(COMTransport& port, std::size_t count) {
  std::string seen;
  std::array<std::uint8_t, 2038> buffer{};
  for (int tries = 0; tries < 10 && seen.size() < count; ++tries) {
    const std::uint32_t got = port.Read(buffer.data(), buffer.size());
    seen.append(buffer.begin(), buffer.begin() + got);
  }
  return seen;
}

class ComLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Open()) << kHostEnd << " is not mapped: run through the ctest fixture";
    ASSERT_TRUE(unit_.Open()) << kUnitEnd;
    // Drop whatever an earlier test left in flight.
    std::array<std::uint8_t, 2038> buffer{};
    while (unit_.Read(buffer.data(), buffer.size()) != 0 ||
           host_.Read(buffer.data(), buffer.size()) != 0) {
    }
  }
  COMTransport host_{kHostEnd, kBootloaderBaudRate};
  COMTransport unit_{kUnitEnd, kBootloaderBaudRate};
};

TEST_F(ComLoopTest, BytesCrossTheLineUnchangedBothWays) {
  std::string everyByte;
  for (int value = 0; value < 256; ++value) everyByte.push_back(static_cast<char>(value));
  host_.Write(reinterpret_cast<const std::uint8_t*>(everyByte.data()), 256);
  EXPECT_EQ(Collect(unit_, 256), everyByte);

  const std::string reply("\x01\x81\r\n\x11\x13\x04", 7);
  unit_.Write(reinterpret_cast<const std::uint8_t*>(reply.data()), 7);
  EXPECT_EQ(Collect(host_, 7), reply);
}

TEST_F(ComLoopTest, ReadReturnsArrivedBytesLongBeforeTheCapacity) {
  const std::string frame("\x01\x0D\x00\x04", 4);
  unit_.Write(reinterpret_cast<const std::uint8_t*>(frame.data()), 4);
  platform::SleepMs(50);
  std::array<std::uint8_t, 2038> buffer{};
  EXPECT_EQ(host_.Read(buffer.data(), buffer.size()), 4u);
}

TEST_F(ComLoopTest, ReadOnASilentLineGivesNothingAfterAboutTwoHundredMilliseconds) {
  std::array<std::uint8_t, 2038> buffer{};
  const std::uint32_t start = platform::TickCount();
  EXPECT_EQ(host_.Read(buffer.data(), buffer.size()), 0u);
  const std::uint32_t waited = platform::TicksBetween(start, platform::TickCount());
  EXPECT_GE(waited, 150u);
  EXPECT_LT(waited, 1500u);
}

TEST_F(ComLoopTest, APortHeldOpenCannotBeOpenedAgainNorIsListed) {
  COMTransport second(kHostEnd, kBootloaderBaudRate);
  EXPECT_FALSE(second.Open());
  EXPECT_FALSE(second.IsOpen());

  ComPortTableType table;
  table.ScanComPorts();
  for (const std::string& entry : table.Entries()) {
    EXPECT_NE(entry, kHostEnd);
    EXPECT_NE(entry, kUnitEnd);
  }
  host_.Close();
  unit_.Close();
  table.ScanComPorts();
  const auto entries = table.Entries();
  EXPECT_NE(std::find(entries.begin(), entries.end(), kHostEnd), entries.end());
  EXPECT_NE(std::find(entries.begin(), entries.end(), kUnitEnd), entries.end());
  EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return std::stoi(PortLabel(a).substr(3)) < std::stoi(PortLabel(b).substr(3));
  }));
}

TEST_F(ComLoopTest, TextQueryOverTheLine) {
  const std::string stale = "<OLD/>";
  unit_.Write(reinterpret_cast<const std::uint8_t*>(stale.data()),
              static_cast<std::uint32_t>(stale.size()));
  std::string unitSaw;
  platform::JoinedThread unit([&] {
    unitSaw = Collect(unit_, 8);
    const std::string answer = "<BQ,E/>";
    unit_.Write(reinterpret_cast<const std::uint8_t*>(answer.data()),
                static_cast<std::uint32_t>(answer.size()));
  });
  std::string reply;
  EXPECT_TRUE(host_.TextQuery("<SY,BQ/>", reply, 16, 1000));
  unit.Join();
  EXPECT_EQ(unitSaw, "<SY,BQ/>");
  EXPECT_EQ(reply, "<BQ,E/>");
}

}  // namespace
}  // namespace tessaline
