// The simulated unit's RS232 line on a real pseudo-terminal: bootloader, text rates, pacing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "sample_image.h"
#include "sim_test_support.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline::sim {
namespace {

using testing::Bytes;
using testing::PtyClient;
using testing::ReplyData;

std::unique_ptr<SimulatedUnit> StartSerialUnit(UnitConfig config) {
  config.serial = true;
  auto unit = std::make_unique<SimulatedUnit>(config);
  std::string error;
  EXPECT_TRUE(unit->Start(&error)) << error;
  return unit;
}

TEST(SimulatedSerialLine, WholeUpdateOverThePseudoTerminal) {
  auto unit = StartSerialUnit({});
  PtyClient line(unit->SerialPath(), 115200);
  ASSERT_TRUE(line.IsOpen());
  const std::string hex = testing::SampleHexText();
  const Bytes flash = testing::SampleFlashData();
  auto exchange = [&](std::uint8_t command, std::uint32_t sequence, const Bytes& data) {
    line.Write(testing::Request(command, sequence, data));
    return line.ReadFrame(command == 0x84 ? 100 : 1000);
  };
  ASSERT_TRUE(testing::RunUpdate(exchange, hex, flash));
  EXPECT_EQ(unit->ApplicationMemory(), DecodeIntelHex(hex)->bytes);
  EXPECT_EQ(unit->FlashData(), flash);
  EXPECT_EQ(unit->Mode(), UnitMode::Application);
}

TEST(SimulatedSerialLine, LinksThePseudoTerminalAndRemovesTheLinkAtStop) {
  const std::string link = "/tmp/tessaline-sim-test-link-" + std::to_string(::getpid());
  UnitConfig config;
  config.serialLink = link;
  auto unit = StartSerialUnit(config);
  char target[256] = {};
  ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), unit->SerialPath());
  PtyClient line(link, 115200);
  line.Write(testing::Request(0x01));
  EXPECT_TRUE(line.ReadFrame(1000));
  unit->Stop();
  struct stat info {};
  EXPECT_NE(::lstat(link.c_str(), &info), 0);
}

TEST(SimulatedSerialLine, BootloaderIgnoresFramesAtAnyRateButItsOwn) {
  auto unit = StartSerialUnit({});
  PtyClient line(unit->SerialPath(), 57600);
  line.Write(testing::Request(0x01));
  EXPECT_FALSE(line.ReadFrame(300));
  EXPECT_TRUE(unit->RequestLog().empty());
  line.SetRate(115200);
  line.Write(testing::Request(0x01));
  EXPECT_TRUE(line.ReadFrame(1000));
}

TEST(SimulatedSerialLine, TextIsUnderstoodOnlyAtTheApplicationRate) {
  UnitConfig config;
  config.mode = UnitMode::Application;
  config.appBaud = 19200;
  auto unit = StartSerialUnit(config);
  PtyClient line(unit->SerialPath(), 4800);
  for (std::uint32_t wrongRate : {4800u, 9600u, 115200u}) {
    SCOPED_TRACE(wrongRate);
    line.SetRate(wrongRate);
    line.Write(std::string("<SY,BQ/>"));
    EXPECT_TRUE(line.ReadFor(300).empty());
  }
  EXPECT_TRUE(unit->TextLog().empty());
  line.SetRate(19200);
  line.Write(std::string("<SY,BQ/>"));
  EXPECT_EQ(line.ReadReply(1000), "<sy,bq = ud/>");
  EXPECT_EQ(unit->TextLog(), std::vector<std::string>{"<SY,BQ/>"});
}

TEST(SimulatedSerialLine, EnterBootloadSequenceSwitchesTheLineToTheBootloader) {
  UnitConfig config;
  config.mode = UnitMode::Application;
  config.appBaud = 9600;
  config.bootloaderSwitchDelayMs = 100;
  auto unit = StartSerialUnit(config);
  PtyClient line(unit->SerialPath(), 9600);
  const std::vector<std::pair<std::string, std::string>> steps = {
      {"<SY,BU1234/>", "<sy,bu = ue/>"},
      {"<SY,BE/>", "<sy,be = ue/>"},
      {"<SY,BR/>", "<sy,br/>"},
  };
  for (const auto& [command, reply] : steps) {
    line.Write(command);
    EXPECT_EQ(line.ReadReply(1000), reply);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(unit->Mode(), UnitMode::Bootloader);
  line.SetRate(115200);
  line.Write(testing::Request(0x0D));
  const auto reply = line.ReadFrame(1000);
  ASSERT_TRUE(reply);
  const Bytes data = ReplyData(*reply);
  EXPECT_NE(std::string(data.begin(), data.end()).find("Brume Tessaline - Bootload\r\n"),
            std::string::npos);
}

TEST(SimulatedSerialLine, PacedLineTakesTenBitTimesPerByte) {
  UnitConfig config;
  config.lineRate = 9600;
  auto unit = StartSerialUnit(config);
  PtyClient line(unit->SerialPath(), 115200);
  const Bytes request = testing::Request(0x0D);
  const auto start = std::chrono::steady_clock::now();
  line.Write(request);
  Bytes received;
  while (!testing::DecodeFrame(received)) {
    const Bytes more = line.ReadFor(50);
    if (more.empty() && std::chrono::steady_clock::now() - start > std::chrono::seconds(2)) break;
    received.insert(received.end(), more.begin(), more.end());
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(testing::DecodeFrame(received));
  // Both directions cost 10 bits per byte at 9600 bit/s.
  const auto lineTime =
      std::chrono::microseconds((request.size() + received.size()) * 10 * 1'000'000 / 9600);
  EXPECT_GE(elapsed, lineTime);
}

}  // namespace
}  // namespace tessaline::sim
