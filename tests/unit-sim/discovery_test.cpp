// The discovery responder on UDP 30303: reply bytes, source port, one unit per address, broadcasts.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim_test_support.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline::sim {
namespace {

using testing::Bytes;
using testing::UdpClient;

const Bytes kRequest = [] {
  const std::string text = "Discovery: Who is out there ?";
  return Bytes(text.begin(), text.end());
}();

std::unique_ptr<SimulatedUnit> StartDiscoveryUnit(const std::string& address, UnitMode mode,
                                                  const std::string& name) {
  UnitConfig config;
  config.discoveryAddress = address;
  config.mode = mode;
  config.unitName = name;
  config.unitMac = "00-1B-C5-00-00-42";
  auto unit = std::make_unique<SimulatedUnit>(config);
  std::string error;
  EXPECT_TRUE(unit->Start(&error)) << error;
  return unit;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(SimulatedDiscovery, ReplyNamesTheModeFromItsOwnAddressAndPort) {
  auto bootloader = StartDiscoveryUnit("127.0.93.80", UnitMode::Bootloader, "Desk A");
  auto application = StartDiscoveryUnit("127.0.93.81", UnitMode::Application, "Desk B");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"127.0.93.80", "Desk A\r\n00-1B-C5-00-00-42\r\nBrume Tessaline - Bootload\r\n"},
      {"127.0.93.81", "Desk B\r\n00-1B-C5-00-00-42\r\nBrume Tessaline - Application\r\n"},
  };
  for (const auto& [address, expected] : cases) {
    SCOPED_TRACE(address);
    UdpClient client;
    client.SendTo(address, 30303, kRequest);
    sockaddr_in from{};
    const auto reply = client.Receive(1000, &from);
    ASSERT_TRUE(reply);
    EXPECT_EQ(Text(*reply), expected);
    EXPECT_EQ(ntohs(from.sin_port), 30303);
    char source[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, source, sizeof source);
    EXPECT_EQ(std::string(source), address);
    EXPECT_FALSE(client.Receive(200));  // exactly one answer
  }
}

TEST(SimulatedDiscovery, IgnoresAnyOtherRequestText) {
  auto unit = StartDiscoveryUnit("127.0.93.82", UnitMode::Bootloader, "Desk");
  UdpClient client;
  for (const std::string text : {"Discovery: Who is out there?", "Discovery: Who is out there ? ",
                                 "discovery: who is out there ?"}) {
    client.SendTo("127.0.93.82", 30303, Bytes(text.begin(), text.end()));
    EXPECT_FALSE(client.Receive(200)) << text;
  }
}

TEST(SimulatedDiscovery, FollowsTheUnitsModeAfterAnExit) {
  UnitConfig config;
  config.discoveryAddress = "127.0.93.83";
  config.udpAddress = "127.0.93.83";
  SimulatedUnit unit(config);
  ASSERT_TRUE(unit.Start());
  UdpClient client;
  client.SendTo("127.0.93.83", 6234, testing::Request(0x0B));
  // Two ports, two threads: wait until the exit has been taken before asking.
  for (int i = 0; i < 100 && unit.Mode() != UnitMode::Application; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  client.SendTo("127.0.93.83", 30303, kRequest);
  const auto reply = client.Receive(1000);
  ASSERT_TRUE(reply);
  EXPECT_NE(Text(*reply).find(" - Application\r\n"), std::string::npos);
}

TEST(SimulatedDiscovery, BroadcastOnTheSubnetReachesEveryUnit) {
  auto first = StartDiscoveryUnit("127.0.93.84", UnitMode::Bootloader, "First");
  auto second = StartDiscoveryUnit("127.0.93.85", UnitMode::Application, "Second");
  UdpClient client;
  client.SendTo("127.255.255.255", 30303, kRequest);
  std::vector<std::string> names;
  while (const auto reply = client.Receive(500)) {
    const std::string text = Text(*reply);
    names.push_back(text.substr(0, text.find('\r')));
  }
  // Units of other tests may answer too; these two must, once each.
  EXPECT_EQ(std::count(names.begin(), names.end(), "First"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Second"), 1);
}

}  // namespace
}  // namespace tessaline::sim
