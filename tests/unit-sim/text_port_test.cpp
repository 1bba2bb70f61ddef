// The application's text command protocol on the TCP Parser Port.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim_test_support.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline::sim {
namespace {

using testing::TcpClient;

struct TextUnit {
  TextUnit(const std::string& address, UnitConfig config)
      : unit([&] {
          config.tcpText = address + ":0";
          config.mode = UnitMode::Application;
          return config;
        }()) {
    std::string error;
    EXPECT_TRUE(unit.Start(&error)) << error;
    EXPECT_TRUE(client.Connect(address, unit.TextPort()));
  }
  std::string Ask(const std::string& command) {
    client.Send(command + "\r\n");
    return client.ReadReply(1000);
  }
  SimulatedUnit unit;
  TcpClient client;
};

TEST(SimulatedTextPort, AnswersEachCommandAsTheUnitDoes) {
  struct Step {
    const char* command;
    const char* reply;  // "" when the unit stays silent
  };
  struct Scenario {
    const char* name;
    bool bootloadEnabled;
    std::vector<Step> steps;
    bool entersBootloader;
  };
  const std::vector<Scenario> scenarios = {
      {"query, disabled", false, {{"<SY,BQ/>", "<sy,bq = ud/>"}}, false},
      {"query, enabled", true, {{"<SY,BQ/>", "<sy,bq = ue/>"}}, false},
      {"whole sequence",
       false,
       {{"<SY,BU1234/>", "<sy,bu = ue/>"},
        {"<SY,BE/>", "<sy,be = ue/>"},
        {"<SY,BQ/>", "<sy,bq = ue/>"},
        {"<SY,BR/>", "<sy,br/>"}},
       true},
      {"wrong PIN",
       false,
       {{"<SY,BU1235/>", "<sy,bu = er/>"},
        {"<SY,BE/>", "<sy,be = er/>"},
        {"<SY,BR/>", "<sy,br = er/>"}},
       false},
      {"enable without PIN", false, {{"<SY,BE/>", "<sy,be = er/>"}}, false},
      {"final step without enable",
       false,
       {{"<SY,BU1234/>", "<sy,bu = ue/>"}, {"<SY,BR/>", "<sy,br = er/>"}},
       false},
      {"unknown and lower-case commands", false, {{"<SY,XX/>", ""}, {"<sy,bq/>", ""}}, false},
  };
  int index = 0;
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    UnitConfig config;
    config.bootloadEnabled = s.bootloadEnabled;
    config.bootloaderSwitchDelayMs = 50;
    TextUnit u("127.0.93." + std::to_string(60 + index++), config);
    for (const Step& step : s.steps) {
      SCOPED_TRACE(step.command);
      const int wait = step.reply[0] == '\0' ? 200 : 1000;
      u.client.Send(std::string(step.command) + "\r\n");
      EXPECT_EQ(u.client.ReadReply(wait), step.reply);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(u.unit.Mode(), s.entersBootloader ? UnitMode::Bootloader : UnitMode::Application);
  }
}

TEST(SimulatedTextPort, CommandWaitsForItsLineEnd) {
  TextUnit u("127.0.93.70", {});
  u.client.Send("<SY,BQ/>");
  EXPECT_EQ(u.client.ReadReply(200), "");
  u.client.Send("\r\n");
  EXPECT_EQ(u.client.ReadReply(1000), "<sy,bq = ud/>");
  u.client.Send("  <SY,BQ/>\r\n");  // the line must be the command alone
  EXPECT_EQ(u.client.ReadReply(200), "");
}

TEST(SimulatedTextPort, PortClosesWhileTheBootloaderRuns) {
  UnitConfig config;
  config.bootloaderSwitchDelayMs = 0;
  config.bootloadEnabled = true;
  TextUnit u("127.0.93.71", config);
  EXPECT_EQ(u.Ask("<SY,BR/>"), "<sy,br/>");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  TcpClient refused;
  EXPECT_FALSE(refused.Connect("127.0.93.71", u.unit.TextPort()));
  // Back in the application (after an exit), the same port answers again.
  u.unit.SetMode(UnitMode::Application);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  TcpClient again;
  ASSERT_TRUE(again.Connect("127.0.93.71", u.unit.TextPort()));
  again.Send("<SY,BQ/>\r\n");
  EXPECT_EQ(again.ReadReply(1000), "<sy,bq = ue/>");
  EXPECT_EQ(u.unit.TextLog(), (std::vector<std::string>{"<SY,BR/>", "<SY,BQ/>"}));
}

TEST(SimulatedTextPort, DefaultPortIs4999) {
  UnitConfig config;
  config.tcpText = "127.0.93.72";
  config.mode = UnitMode::Application;
  SimulatedUnit unit(config);
  std::string error;
  ASSERT_TRUE(unit.Start(&error)) << error;
  EXPECT_EQ(unit.TextPort(), 4999);
  TcpClient client;
  ASSERT_TRUE(client.Connect("127.0.93.72", 4999));
  client.Send("<SY,BQ/>\r\n");
  EXPECT_EQ(client.ReadReply(1000), "<sy,bq = ud/>");
}

}  // namespace
}  // namespace tessaline::sim
