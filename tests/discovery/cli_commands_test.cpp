// tessaline-update discover, query and enter-bootload, run as a program against simulated units.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "discovery/network_namespaces.h"
#include "support/simulated_units.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline {
namespace {

using sim::SimulatedUnit;
using sim::UnitConfig;
using sim::UnitMode;
using testing::NamespacePair;
using testing::StartUnit;

struct ProgramRun {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

std::string Program() {
  const char* build = std::getenv("TESSALINE_BUILD_DIR");
  return std::string(build != nullptr ? build : ".") + "/src/cli/tessaline-update";
}

ProgramRun RunProgram(const std::string& arguments, const std::string& prefix = "") {
  ProgramRun run;
  const std::string command = prefix + Program() + " " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[512];
  while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) run.output += chunk;
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

UnitConfig TextUnit(bool bootloadEnabled) {
  UnitConfig config;
  config.mode = UnitMode::Application;
  config.tcpText = "127.0.77.41:0";
  config.bootloadEnabled = bootloadEnabled;
  return config;
}

std::size_t Count(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

TEST(QueryCommand, ShowsTheBootloaderAndApplicationVersions) {
  UnitConfig config;
  config.udpAddress = "127.0.77.40";
  config.bootloaderMajor = 1;
  config.bootloaderMinor = 3;
  config.applicationVersion = 0x00020005;
  auto unit = StartUnit(config);

  const auto plain = RunProgram("query --ip 127.0.77.40");
  EXPECT_EQ(plain.exitCode, 0) << plain.output;
  EXPECT_NE(plain.output.find("Bootloader Version:   1.3"), std::string::npos) << plain.output;
  EXPECT_NE(plain.output.find("Application Version:  2.5"), std::string::npos) << plain.output;

  const auto json = RunProgram("query --ip 127.0.77.40 --json");
  EXPECT_EQ(json.exitCode, 0) << json.output;
  EXPECT_NE(json.output.find(R"("bootloader_version":"1.3","application_version":"2.5",)"
                             R"("bootload_state":"bootloader")"),
            std::string::npos)
      << json.output;
}

TEST(QueryCommand, ReportsARunningUnitsBootloadState) {
  struct Case {
    bool enabled;
    std::optional<char> letter;  // the unit's answer in place of 'e' or 'd'
    const char* shown;
  };
  const Case cases[] = {
      {false, std::nullopt, "Bootload mode:        disabled"},
      {true, std::nullopt, "Bootload mode:        enabled"},
      // An answer is an answer, whatever its letter.
      {false, 'x', "Bootload mode:        unknown: the unit answered with state letter 'x'"},
  };
  for (const auto& c : cases) {
    UnitConfig config = TextUnit(c.enabled);
    config.bootloadStateLetter = c.letter;
    auto unit = StartUnit(config);
    const auto run =
        RunProgram("query --ip 127.0.77.41 --parser-port " + std::to_string(unit->TextPort()));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Bootloader Version:   Not found"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(c.shown), std::string::npos) << run.output;
  }
  const auto nobody = RunProgram("query --ip 127.0.77.42 --parser-port 4999");
  EXPECT_EQ(nobody.exitCode, 5) << nobody.output;
}

TEST(EnterBootloadCommand, ShowsTheGuiTextsAndExitCodes) {
  struct Case {
    const char* pin;
    int exitCode;
    const char* text;
    std::size_t commandsReceived;
  };
  const Case cases[] = {
      {"4321", 3, "Unable to enter Bootload Mode.", 2},
      {"1234", 0, "Bootload Mode Enabled.", 4},
  };
  for (const auto& c : cases) {
    auto unit = StartUnit(TextUnit(false));
    const auto run = RunProgram("enter-bootload --ip 127.0.77.41 --parser-port " +
                                std::to_string(unit->TextPort()) + " --pin " + c.pin);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_EQ(Count(run.output, c.text), 1u) << run.output;
    EXPECT_EQ(unit->TextLog().size(), c.commandsReceived) << c.pin;
  }
  for (const char* bad : {"123", "12345", "12a4"}) {
    const auto run = RunProgram(std::string("enter-bootload --ip 127.0.77.41 --pin ") + bad);
    EXPECT_EQ(run.exitCode, 64) << bad << ": " << run.output;
  }
}

TEST(DiscoverCommand, ListsASerialBootloaderOnce) {
  UnitConfig config;
  config.serial = true;
  auto unit = StartUnit(config);
  const auto run = RunProgram("discover --serial --seconds 2",
                              "TESSALINE_SERIAL_PORTS=" + unit->SerialPath() + " ");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(Count(run.output, unit->SerialPath() + "  bootload"), 1u) << run.output;
  EXPECT_GT(unit->RequestLog().size(), 1u) << "the port is probed in every pass";
}

TEST(DiscoverCommand, ListsEachNetworkUnitOnceWithItsFlags) {
  NamespacePair net;
  if (!net.Ready()) {
    GTEST_SKIP() << "network namespaces cannot be made here (needs root, iproute2 and veth); "
                    "the discover command is not run on the network";
  }
  ASSERT_TRUE(net.AddUpdaterAddress("192.0.2.1/24"));
  ASSERT_TRUE(net.AddUpdaterAddress("169.254.10.1/16"));
  ASSERT_TRUE(net.AddUnitAddress("192.0.2.2/24"));
  ASSERT_TRUE(net.AddUnitAddress("169.254.10.20/16"));
  std::unique_ptr<SimulatedUnit> bootloader;
  std::unique_ptr<SimulatedUnit> running;
  ASSERT_TRUE(NamespacePair::RunInside(net.Units(), [&] {
    UnitConfig config;
    config.discoveryAddress = "192.0.2.2";
    bootloader = StartUnit(config);
    config.discoveryAddress = "169.254.10.20";
    config.mode = UnitMode::Application;
    running = StartUnit(config);
  }));

  const auto run =
      RunProgram("discover --json --seconds 3", "ip netns exec " + net.Updater() + " ");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(Count(run.output, R"({"event":"unit")"), 2u) << run.output;
  EXPECT_EQ(Count(run.output, R"("address":"192.0.2.2","mode":"bootload","other_subnet":false,)"
                              R"("link_local":false)"),
            1u)
      << run.output;
  EXPECT_EQ(Count(run.output, R"("address":"169.254.10.20","mode":"application",)"
                              R"("other_subnet":false,"link_local":true)"),
            1u)
      << run.output;
}

}  // namespace
}  // namespace tessaline
