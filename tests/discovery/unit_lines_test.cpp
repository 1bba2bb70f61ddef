// Units named one a line, as the units file and the rack window's box give them.
#include "discovery/unit_lines.h"

#include <gtest/gtest.h>

#include "platform/sockets.h"

namespace tessaline {
namespace {

using platform::Ipv4FromOctets;

TEST(UnitLines, EachLineGivesItsUnitOrItsFaultAndTheLineThatNamedItFirst) {
  const auto lines = ReadUnitLines(
      "\xEF\xBB\xBF# rack A\n10.0.0.2\n  COM3  # amp\r\n10.0.0.300\nrack-4\n0.0.0.0\n"
      "255.255.255.255\n127.0.0.1\n/dev/ttyUSB0\n10.0.0.2\n\n");
  struct Expected {
    std::size_t number;
    const char* text;
    UnitLineFault fault;
    std::size_t firstNamedAt;
  };
  const Expected expected[] = {
      {2, "10.0.0.2", UnitLineFault::None, 0},
      {3, "COM3", UnitLineFault::None, 0},
      {4, "10.0.0.300", UnitLineFault::NotAnAddress, 0},
      {5, "rack-4", UnitLineFault::NotAUnit, 0},
      {6, "0.0.0.0", UnitLineFault::RefusedAddress, 0},
      {7, "255.255.255.255", UnitLineFault::RefusedAddress, 0},
      {8, "127.0.0.1", UnitLineFault::RefusedAddress, 0},
      {9, "/dev/ttyUSB0", UnitLineFault::None, 0},
      {10, "10.0.0.2", UnitLineFault::None, 2},
  };
  ASSERT_EQ(lines.size(), std::size(expected));
  for (std::size_t k = 0; k < lines.size(); ++k) {
    EXPECT_EQ(lines[k].number, expected[k].number) << k;
    EXPECT_EQ(lines[k].text, expected[k].text) << k;
    EXPECT_EQ(lines[k].fault, expected[k].fault) << lines[k].text;
    EXPECT_EQ(lines[k].unit.has_value(), expected[k].fault == UnitLineFault::None) << lines[k].text;
    EXPECT_EQ(lines[k].firstNamedAt, expected[k].firstNamedAt) << lines[k].text;
  }
  EXPECT_EQ(lines[4].refusal, AddressRefusal::NoHost);
  EXPECT_EQ(lines[5].refusal, AddressRefusal::Broadcast);
  EXPECT_EQ(lines[6].refusal, AddressRefusal::ThisComputer);
}

TEST(UnitLines, ALocalNetworksBroadcastAddressIsRefusedOnlyWhenTheTableHoldsThatNetwork) {
  const InterfaceTable table = {
      {Ipv4FromOctets(192, 168, 1, 20), Ipv4FromOctets(255, 255, 255, 0)}};
  EXPECT_EQ(UnitAddressRefusal(Ipv4FromOctets(192, 168, 1, 255), table),
            AddressRefusal::NetworkBroadcast);
  EXPECT_EQ(UnitAddressRefusal(Ipv4FromOctets(192, 168, 1, 255), std::nullopt), std::nullopt);
  EXPECT_EQ(UnitAddressRefusal(Ipv4FromOctets(192, 168, 1, 21), table), std::nullopt);
}

}  // namespace
}  // namespace tessaline
