// The local interface table lists the loopback address with its mask.
#include "platform/network_interfaces.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/sockets.h"

namespace tessaline::platform {
namespace {

TEST(LocalInterfaces, IncludeLoopbackWithItsMask) {
  const auto interfaces = ReadLocalInterfaces();
  ASSERT_TRUE(interfaces.has_value());
  const std::uint32_t loopback = Ipv4FromOctets(127, 0, 0, 1);
  const auto found = std::find_if(interfaces->begin(), interfaces->end(),
                                  [&](const LocalInterface& i) { return i.address == loopback; });
  ASSERT_NE(found, interfaces->end());
  EXPECT_EQ(found->mask, Ipv4FromOctets(255, 0, 0, 0));
}

TEST(InterfaceDetails, ListTheLoopbackInterfaceUpWithItsAddressAndMask) {
  const auto interfaces = ReadInterfaceDetails();
  ASSERT_TRUE(interfaces.has_value());
  const auto loopback = std::find_if(interfaces->begin(), interfaces->end(),
                                     [](const InterfaceDetails& i) { return i.loopback; });
  ASSERT_NE(loopback, interfaces->end());
  EXPECT_TRUE(loopback->up) << loopback->name;
  ASSERT_FALSE(loopback->addresses.empty()) << loopback->name;
  EXPECT_EQ(loopback->addresses.front().address, Ipv4FromOctets(127, 0, 0, 1));
  EXPECT_EQ(loopback->addresses.front().mask, Ipv4FromOctets(255, 0, 0, 0));
}

TEST(ByteOrder, AddressesAreKeptInNetworkOrder) {
  const std::uint32_t address = Ipv4FromOctets(192, 168, 1, 20);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
  EXPECT_EQ(bytes[0], 192);
  EXPECT_EQ(bytes[3], 20);
  EXPECT_EQ(NetworkToHost32(address), 0xC0A80114u);
  EXPECT_EQ(HostToNetwork32(0xC0A80114u), address);
}

}  // namespace
}  // namespace tessaline::platform
