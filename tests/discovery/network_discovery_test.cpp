// Network discovery end to end: the real worker and simulated units in private namespaces.
#include "discovery/network_discovery.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "discovery/discovery_thread.h"
#include "discovery/network_namespaces.h"
#include "platform/sockets.h"
#include "support/recording_listeners.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline {
namespace {

using testing::NamespacePair;

std::uint32_t Ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  return platform::Ipv4FromOctets(a, b, c, d);
}

std::unique_ptr<sim::SimulatedUnit> StartResponder(const std::string& address, sim::UnitMode mode) {
  sim::UnitConfig config;
  config.discoveryAddress = address;
  config.mode = mode;
  auto unit = std::make_unique<sim::SimulatedUnit>(config);
  std::string error;
  EXPECT_TRUE(unit->Start(&error)) << address << ": " << error;
  return unit;
}

TEST(NetworkDiscovery, FindsEachUnitThroughItsInterfaceBroadcast) {
  NamespacePair net;
  if (!net.Ready()) {
    GTEST_SKIP() << "network namespaces cannot be made here (needs root, iproute2 and veth); "
                    "network discovery is not exercised end to end";
  }
  // Two subnets on one link: each gets its own directed broadcast, and loopback gets none.
  ASSERT_TRUE(net.AddUpdaterAddress("192.0.2.1/24"));
  ASSERT_TRUE(net.AddUpdaterAddress("169.254.10.1/16"));
  ASSERT_TRUE(net.AddUnitAddress("192.0.2.2/24"));
  ASSERT_TRUE(net.AddUnitAddress("169.254.10.20/16"));

  std::unique_ptr<sim::SimulatedUnit> bootloader;
  std::unique_ptr<sim::SimulatedUnit> running;
  ASSERT_TRUE(NamespacePair::RunInside(net.Units(), [&] {
    bootloader = StartResponder("192.0.2.2", sim::UnitMode::Bootloader);
    running = StartResponder("169.254.10.20", sim::UnitMode::Application);
  }));

  auto found = std::make_shared<testing::RecordingDiscoveryListener>();
  std::map<std::uint64_t, std::uint64_t> flagsByAddress;
  std::chrono::milliseconds stopTook{0};
  bool usableChecks[3] = {};
  ASSERT_TRUE(NamespacePair::RunInside(net.Updater(), [&] {
    DiscoveryThread discovery("Brume Tessaline");
    discovery.StartDiscovery(found, DiscoverMode::Network);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
      flagsByAddress.clear();
      for (const auto& unit : found->NetworkUnits())
        flagsByAddress.emplace(unit.address, unit.flags);
      if (flagsByAddress.size() >= 2) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto stopStart = std::chrono::steady_clock::now();
    discovery.StopDiscovery();
    stopTook = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - stopStart);

    usableChecks[0] = IsUsableUnitAddress(Ip(192, 0, 2, 255));
    usableChecks[1] = IsUsableUnitAddress(Ip(169, 254, 255, 255));
    usableChecks[2] = IsUsableUnitAddress(Ip(192, 0, 2, 2));
  }));

  EXPECT_TRUE(found->SerialUnits().empty());
  EXPECT_TRUE(found->Failures().empty());
  EXPECT_EQ(flagsByAddress,
            (std::map<std::uint64_t, std::uint64_t>{{Ip(192, 0, 2, 2), kUnitInBootload},
                                                    {Ip(169, 254, 10, 20), kUnitLinkLocal}}));
  EXPECT_LT(stopTook.count(), 2500) << "a stop must take effect within about two seconds";
  EXPECT_FALSE(usableChecks[0]) << "192.0.2.255 is the updater's subnet broadcast";
  EXPECT_FALSE(usableChecks[1]) << "169.254.255.255 is the updater's subnet broadcast";
  EXPECT_TRUE(usableChecks[2]);
}

}  // namespace
}  // namespace tessaline
