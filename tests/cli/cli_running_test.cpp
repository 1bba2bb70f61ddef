// tessaline-update taking units from their application with the installer PIN, against simulated
// units in application mode over UDP and TCP: the rack, the canary and the plan.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/cli_program.h"
#include "support/simulated_units.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline {
namespace {

using testing::RunCli;
using testing::StartUnit;
using Units = std::vector<std::unique_ptr<sim::SimulatedUnit>>;

constexpr const char* kPin = "9753";

sim::UnitConfig RunningUnit(const std::string& address, const std::string& pin = kPin) {
  sim::UnitConfig config = testing::UdpUnit(address);
  config.tcpText = address;
  config.mode = sim::UnitMode::Application;
  config.pin = pin;
  return config;
}

// No command that changes the unit reached it: no PIN, no erase, no write.
void ExpectUnchanged(const sim::SimulatedUnit& unit, const std::string& label) {
  for (const std::uint8_t code : unit.CommandOrder()) {
    const std::uint8_t plain = code & 0x7F;
    EXPECT_TRUE(plain == 0x01 || plain == 0x09 || plain == 0x0D) << label << " got " << int(code);
  }
  for (const auto& text : unit.TextLog()) EXPECT_EQ(text, "<SY,BQ/>") << label;
}

// The first JSON event of `kind` of each unit.
std::map<std::string, nlohmann::json> EventsByUnit(const testing::CliRun& run, const char* kind) {
  std::map<std::string, nlohmann::json> events;
  for (const auto& line : run.OutLines()) {
    const auto event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_object() && event.value("event", "") == kind) {
      events.emplace(event.value("unit", ""), event);
    }
  }
  return events;
}

TEST(RunningToRunning, UnitsInApplicationModeRunThePackageAndARefusedPinLeavesItsUnitAlone) {
  Units units;
  const std::string scratch = ::testing::TempDir() + "running-" + std::to_string(::getpid());
  std::ofstream(scratch + ".pin") << kPin << "\r\n";
  std::string arguments = "update --json --trace --pin-file " + scratch + ".pin";
  for (int k = 1; k <= 3; ++k) {
    const std::string address = "127.0.41." + std::to_string(k);
    units.push_back(StartUnit(RunningUnit(address, k == 3 ? "1111" : kPin)));
    arguments += " --ip " + address;
  }
  const std::string receipts = scratch + ".jsonl";
  const auto run = RunCli(arguments + " --receipt " + receipts);
  EXPECT_EQ(run.exitCode, 17) << run.out << run.err;  // some updated, the rest untouched
  for (int k = 1; k <= 2; ++k) {
    testing::ExpectHoldsThePackage(*units[k - 1], "unit " + std::to_string(k));
    EXPECT_EQ(units[k - 1]->Mode(), sim::UnitMode::Application);
  }
  const auto results = EventsByUnit(run, "result");
  EXPECT_EQ(results.at("127.0.41.1").value("result", ""), "running");
  const auto& refused = results.at("127.0.41.3");
  EXPECT_EQ(refused.value("result", ""), "pin-refused") << refused.dump();
  EXPECT_EQ(refused.value("exit_code", 0), 16);
  EXPECT_NE(refused.value("text", "").find("<sy,bu = er/>"), std::string::npos) << refused.dump();
  EXPECT_TRUE(units[2]->CommandOrder().empty());
  EXPECT_TRUE(units[2]->ApplicationMemory().empty());
  // The PIN is in no output, trace or receipt (digits alone may occur in any number or digest).
  std::ifstream file(receipts);
  const std::string written((std::istreambuf_iterator<char>(file)), {});
  EXPECT_FALSE(written.empty());
  for (const std::string* text : {&run.out, &run.err, &written}) {
    for (const std::string& shown : {std::string("BU") + kPin, "\"" + std::string(kPin) + "\"",
                                     " " + std::string(kPin) + " "}) {
      EXPECT_EQ(text->find(shown), std::string::npos) << shown;
    }
  }
  std::remove(receipts.c_str());
  std::remove((scratch + ".pin").c_str());
}

TEST(RunningToRunning, AFailedCanaryStopsTheRunWithEveryOtherUnitUntouched) {
  Units units;
  units.push_back(StartUnit(RunningUnit("127.0.41.11", "1111")));
  for (int k = 12; k <= 13; ++k)
    units.push_back(StartUnit(RunningUnit("127.0.41." + std::to_string(k))));
  const auto run = RunCli(std::string("update --canary 1 --pin ") + kPin +
                          " --ip 127.0.41.11 --ip 127.0.41.12 --ip 127.0.41.13");
  EXPECT_NE(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.err.find("2 other unit(s) were not touched"), std::string::npos) << run.err;
  for (int k = 1; k <= 2; ++k) {
    EXPECT_TRUE(units[k]->RequestLog().empty());
    EXPECT_TRUE(units[k]->TextLog().empty());
  }
}

TEST(RunningToRunning, ThePlanPredictsEveryActionAndChangesNoUnit) {
  Units units;
  units.push_back(StartUnit(RunningUnit("127.0.41.21")));
  units.push_back(StartUnit(testing::UdpUnit("127.0.41.22")));
  auto newer = testing::UdpUnit("127.0.41.23");
  newer.applicationVersion = 0x00090000;
  units.push_back(StartUnit(newer));
  auto otherVariant = testing::UdpUnit("127.0.41.25");
  otherVariant.mcuFamily = "GD32";
  units.push_back(StartUnit(otherVariant));
  // 127.0.41.24: nothing answers there.
  struct Case {
    const char* unit;
    const char* mode;
    const char* action;
    bool blocked;
  };
  const Case cases[] = {
      {"127.0.41.21", "application", "enter bootload with the PIN, then update", false},
      {"127.0.41.22", "bootload", "update", false},
      {"127.0.41.23", "bootload", "refuse: a newer version", true},
      {"127.0.41.24", "silent", "none", true},
      {"127.0.41.25", "bootload", "refuse: another variant", true},
  };
  std::string arguments = std::string("update --plan --json --pin ") + kPin;
  for (const auto& c : cases) arguments += std::string(" --ip ") + c.unit;
  const auto run = RunCli(arguments + " --ip 127.0.41.22");
  EXPECT_EQ(run.exitCode, 9) << run.out << run.err;
  const auto plans = EventsByUnit(run, "plan");
  // The unit named again is a row of its own, refused, and is read only once.
  const auto lines = run.OutLines();
  const auto twice = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& line) {
    return line.find("\"plan\"") != std::string::npos;
  });
  ASSERT_NE(twice, lines.rend()) << run.out;
  EXPECT_EQ(nlohmann::json::parse(*twice).value("action", ""), "refuse: a unit named twice");
  EXPECT_EQ(units[1]->CommandOrder().size(), units[2]->CommandOrder().size());
  for (const auto& c : cases) {
    ASSERT_TRUE(plans.contains(c.unit)) << c.unit << "\n" << run.out;
    const auto& plan = plans.at(c.unit);
    EXPECT_EQ(plan.value("mode", ""), c.mode) << plan.dump();
    EXPECT_EQ(plan.value("action", ""), c.action) << plan.dump();
    EXPECT_EQ(!plan["blockers"].empty(), c.blocked) << plan.dump();
  }
  for (const auto& unit : units) ExpectUnchanged(*unit, "planned unit");
  // Without a PIN the running unit is blocked.
  const auto noPin = RunCli("update --plan --ip 127.0.41.21 --ip 127.0.41.22");
  EXPECT_EQ(noPin.exitCode, 9) << noPin.out;
  EXPECT_NE(noPin.out.find("no PIN was given"), std::string::npos) << noPin.out;
}

}  // namespace
}  // namespace tessaline
