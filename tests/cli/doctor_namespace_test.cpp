// tessaline-update doctor inside network namespaces the test makes: with only loopback discovery
// is blocked, with one veth it is clear, with units on a loopback alias it agrees with discover;
// serial ports held by this test are named as in use.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "discovery/network_namespaces.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_port.h"
#include "support/cli_program.h"
#include "support/simulated_units.h"

namespace tessaline {
namespace {

bool RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A namespace holding nothing usable: its loopback interface and a veth pair that is down, without
// an address, and named with a byte that is not UTF-8 (a name the system allows).
class LoopbackOnlyNamespace {
 public:
  LoopbackOnlyNamespace() : name_("tsl-doc-" + std::to_string(::getpid())) {
    RunQuietly("ip netns del " + name_);
    ready_ = RunQuietly("ip netns add " + name_) &&
             RunQuietly("ip -n " + name_ + " link set lo up") &&
             RunQuietly("ip -n " + name_ +
                        " link add \"$(printf 'tsl\\377')\" type veth peer name tsl-peer");
  }
  ~LoopbackOnlyNamespace() { RunQuietly("ip netns del " + name_); }
  bool AddLoopbackAlias(const std::string& cidr) const {
    return RunQuietly("ip -n " + name_ + " addr add " + cidr + " dev lo");
  }
  LoopbackOnlyNamespace(const LoopbackOnlyNamespace&) = delete;
  LoopbackOnlyNamespace& operator=(const LoopbackOnlyNamespace&) = delete;
  bool Ready() const { return ready_; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  bool ready_ = false;
};

struct DoctorRun {
  int exitCode = -1;
  nlohmann::json report;  // the "doctor" event
  nlohmann::json result;  // the "result" event
};

DoctorRun RunDoctorIn(const std::string& space, const std::string& serialPorts) {
  const auto program =
      testing::RunCli("doctor --json", "ip netns exec " + space +
                                           " env TESSALINE_SERIAL_PORTS=" + serialPorts + " ");
  DoctorRun run;
  run.exitCode = program.exitCode;
  for (const auto& line : program.OutLines()) {
    const auto event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.contains("event")) continue;
    if (event["event"] == "doctor") run.report = event;
    if (event["event"] == "result") run.result = event;
  }
  return run;
}

const nlohmann::json* InterfaceNamed(const nlohmann::json& report, const std::string& prefix) {
  for (const auto& entry : report["interfaces"]) {
    if (entry["name"].get<std::string>().rfind(prefix, 0) == 0) return &entry;
  }
  return nullptr;
}

TEST(DoctorCommand, TellsWhetherDiscoveryIsBlockedInsideTestNamespaces) {
  testing::PseudoTerminal freePort;
  testing::PseudoTerminal heldPort;
  platform::SerialPort holder;
  ASSERT_TRUE(holder.Open(heldPort.Path()));
  const std::string ports = freePort.Path() + ":" + heldPort.Path();
  const std::string self = "(pid " + std::to_string(::getpid()) + ")";

  LoopbackOnlyNamespace alone;
  testing::NamespacePair pair;
  if (!alone.Ready() || !pair.Ready() || !pair.AddUpdaterAddress("198.51.100.1/24")) {
    GTEST_SKIP() << "network namespaces are not available here (needs root and iproute2)";
  }

  struct Case {
    const char* label;
    std::string space;
    int exitCode;
    bool blocked;
  };
  const Case cases[] = {{"only loopback", alone.Name(), 6, true},
                        {"one veth", pair.Updater(), 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const DoctorRun run = RunDoctorIn(c.space, ports);
    ASSERT_TRUE(run.report.is_object()) << "no doctor event";
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.report["blocked"], c.blocked);
    EXPECT_EQ(run.result["exit_code"], c.exitCode);

    const auto* loopback = InterfaceNamed(run.report, "lo");
    ASSERT_NE(loopback, nullptr);
    EXPECT_EQ((*loopback)["usable"], false);
    EXPECT_EQ((*loopback)["request_sent"], false);

    const auto* veth = InterfaceNamed(run.report, "tslu");
    if (c.blocked) {
      EXPECT_EQ(veth, nullptr);
      const auto* oddName = InterfaceNamed(run.report, "tsl\xEF\xBF\xBD");
      ASSERT_NE(oddName, nullptr)
          << "a name that is not UTF-8 is reported, its stray byte replaced";
      EXPECT_EQ((*oddName)["usable"], false);
      bool namesTheCause = false;
      for (const auto& problem : run.report["problems"]) {
        namesTheCause =
            namesTheCause || (problem["blocking"] == true && problem["subject"] == "network" &&
                              !problem["action"].get<std::string>().empty());
      }
      EXPECT_TRUE(namesTheCause) << run.report.dump(2);
      EXPECT_EQ(run.report["discovery"]["requests_sent"], 0);
    } else {
      ASSERT_NE(veth, nullptr) << run.report.dump(2);
      EXPECT_EQ((*veth)["address"], "198.51.100.1");
      EXPECT_EQ((*veth)["subnet"], "198.51.100.0/24");
      EXPECT_EQ((*veth)["broadcast"], "198.51.100.255");
      EXPECT_EQ((*veth)["up"], true);
      EXPECT_EQ((*veth)["request_sent"], true);
      EXPECT_EQ(run.report["discovery"]["requests_sent"], 1);
    }

    ASSERT_EQ(run.report["serial_ports"].size(), 2u) << run.report.dump(2);
    const auto& free = run.report["serial_ports"][0];
    const auto& held = run.report["serial_ports"][1];
    EXPECT_EQ(free["state"], "usable");
    EXPECT_EQ(held["state"], "in-use");
    bool namesThisTest = false;
    for (const auto& name : held["holders"]) {
      namesThisTest = namesThisTest || name.get<std::string>().find(self) != std::string::npos;
    }
    EXPECT_TRUE(namesThisTest) << held.dump();
  }
}

TEST(DoctorCommand, AgreesWithDiscoverAboutUnitsOnALoopbackAlias) {
  LoopbackOnlyNamespace space;
  if (!space.Ready() || !space.AddLoopbackAlias("127.0.20.1/24")) {
    GTEST_SKIP() << "network namespaces are not available here (needs root and iproute2)";
  }
  std::unique_ptr<sim::SimulatedUnit> unit;
  ASSERT_TRUE(testing::NamespacePair::RunInside(space.Name(), [&] {
    sim::UnitConfig config;
    config.discoveryAddress = "127.0.20.2";
    unit = testing::StartUnit(config);
  }));

  const auto discover =
      testing::RunCli("discover --seconds 2", "ip netns exec " + space.Name() + " ");
  ASSERT_EQ(discover.exitCode, 0) << discover.out;
  ASSERT_NE(discover.out.find("127.0.20.2"), std::string::npos) << discover.out;

  const DoctorRun run = RunDoctorIn(space.Name(), "");
  EXPECT_EQ(run.exitCode, 0) << run.report.dump(2);
  EXPECT_EQ(run.report["blocked"], false);
  bool aliasCarriesRequest = false;
  for (const auto& entry : run.report["interfaces"]) {
    if (entry["address"] == "127.0.0.1") {
      EXPECT_EQ(entry["usable"], false);
    }
    if (entry["address"] == "127.0.20.1") {
      aliasCarriesRequest = entry["usable"] == true && entry["request_sent"] == true;
    }
  }
  EXPECT_TRUE(aliasCarriesRequest) << run.report.dump(2);
}

}  // namespace
}  // namespace tessaline
