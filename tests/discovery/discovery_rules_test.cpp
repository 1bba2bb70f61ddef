// The pure rules of discovery: reply classification, address checks, identity lines, text replies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "discovery/discovery_listener.h"
#include "discovery/network_discovery.h"
#include "discovery/serial_discovery.h"
#include "discovery/text_protocol.h"
#include "platform/sockets.h"

namespace tessaline {
namespace {

using platform::Ipv4FromOctets;
using platform::LocalInterface;

constexpr std::string_view kIdentity = "Brume Tessaline";

std::uint32_t Ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  return Ipv4FromOctets(a, b, c, d);
}

const InterfaceTable kHostTable = {
    {Ip(127, 0, 0, 1), Ip(255, 0, 0, 0)},
    {Ip(192, 168, 1, 20), Ip(255, 255, 255, 0)},
    {Ip(10, 4, 0, 9), Ip(255, 255, 0, 0)},
};

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::optional<std::uint16_t> Classify(std::string_view datagram, std::uint32_t source,
                                      const InterfaceTable& table = kHostTable) {
  const auto bytes = Bytes(datagram);
  return ClassifyDiscoveryReply(bytes, source, table, kIdentity);
}

struct ReplyCase {
  const char* name;
  std::string datagram;
  std::optional<std::uint16_t> flags;  // nullopt: ignored
};

TEST(DiscoveryReply, ReportsOnlyThirdLinesThatStartWithTheIdentity) {
  const std::uint32_t sameSubnet = Ip(192, 168, 1, 77);
  const std::vector<ReplyCase> cases = {
      {"bootload", "Unit\r\nMAC 00:11\r\nBrume Tessaline - Bootload\r\n", kUnitInBootload},
      {"application", "a\r\nb\r\nBrume Tessaline - Application\r\n", 0},
      {"identity alone", "a\r\nb\r\nBrume Tessaline", 0},
      {"other suffix", "a\r\nb\r\nBrume Tessaline - bootload\r\n", 0},
      {"suffix without LF", "a\r\nb\r\nBrume Tessaline - Bootload\r", 0},
      {"suffix cut at the datagram end", "a\r\nb\r\nBrume Tessaline - Boot", 0},
      {"longer model name", "a\r\nb\r\nBrume TessalineX - Bootload\r\n", 0},
      {"empty lines", "\r\n\r\nBrume Tessaline - Bootload\r\n", kUnitInBootload},
      {"another model", "a\r\nb\r\nBrume Tessa - Bootload\r\n", std::nullopt},
      {"another maker", "a\r\nb\r\nAcme Tessaline - Bootload\r\n", std::nullopt},
      {"identity on line 2", "a\r\nBrume Tessaline - Bootload\r\n", std::nullopt},
      {"one line end only", "a\r\nBrume Tessaline - Bootload", std::nullopt},
      {"lone CR and lone LF", "a\rb\nBrume Tessaline - Bootload\r\n", std::nullopt},
      {"LF CR is no line end", "a\n\rb\n\rBrume Tessaline - Bootload\r\n", std::nullopt},
      {"identity cut short", "a\r\nb\r\nBrume Tessal", std::nullopt},
      {"nothing after two lines", "a\r\nb\r\n", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Classify(c.datagram, sameSubnet), c.flags) << c.name;
  }
}

TEST(DiscoveryReply, NeverReadsPastTheReceivedBytes) {
  // The bytes after the datagram's length hold the missing " - Bootload\r\n".
  const std::string storage = "a\r\nb\r\nBrume Tessaline - Bootload\r\n";
  const std::size_t cut = storage.size() - 2;
  std::vector<std::uint8_t> bytes(storage.begin(), storage.end());
  const auto flags = ClassifyDiscoveryReply(std::span(bytes.data(), cut), Ip(192, 168, 1, 5),
                                            kHostTable, kIdentity);
  ASSERT_TRUE(flags.has_value());
  EXPECT_EQ(*flags & kUnitInBootload, 0);
}

struct AddressCase {
  const char* name;
  std::uint32_t address;
  InterfaceTable table;
  std::uint16_t flags;
};

TEST(DiscoveryReply, FlagsTheUnitAddressAgainstTheLocalSubnets) {
  const InterfaceTable loopbackOnly = {{Ip(127, 0, 0, 1), Ip(255, 0, 0, 0)}};
  const InterfaceTable withUnconfigured = {{Ip(192, 168, 1, 20), Ip(255, 255, 255, 0)},
                                           {Ip(0, 0, 0, 0), Ip(0, 0, 0, 0)}};
  const InterfaceTable linkLocalHost = {{Ip(169, 254, 3, 3), Ip(255, 255, 0, 0)}};
  const std::vector<AddressCase> cases = {
      {"first interface's subnet", Ip(192, 168, 1, 200), kHostTable, 0},
      {"second interface's subnet", Ip(10, 4, 200, 1), kHostTable, 0},
      {"no local subnet", Ip(172, 16, 0, 1), kHostTable, kUnitOnOtherSubnet},
      {"loopback row never matches", Ip(127, 0, 0, 9), loopbackOnly, kUnitOnOtherSubnet},
      {"mask 0.0.0.0 matches every unit", Ip(172, 16, 0, 1), withUnconfigured, 0},
      {"empty table", Ip(192, 168, 1, 5), {}, kUnitOnOtherSubnet},
      {"169.254.0.1 is not link-local", Ip(169, 254, 0, 1), kHostTable, kUnitOnOtherSubnet},
      {"169.254.0.2 is link-local", Ip(169, 254, 0, 2), kHostTable,
       kUnitOnOtherSubnet | kUnitLinkLocal},
      {"169.254.10.20 is link-local", Ip(169, 254, 10, 20), kHostTable,
       kUnitOnOtherSubnet | kUnitLinkLocal},
      {"169.254.255.253 is link-local", Ip(169, 254, 255, 253), kHostTable,
       kUnitOnOtherSubnet | kUnitLinkLocal},
      {"169.254.255.254 is not", Ip(169, 254, 255, 254), kHostTable, kUnitOnOtherSubnet},
      {"169.253.10.20 is not", Ip(169, 253, 10, 20), kHostTable, kUnitOnOtherSubnet},
      {"link-local on a link-local host", Ip(169, 254, 7, 9), linkLocalHost, kUnitLinkLocal},
  };
  const std::string reply = "x\r\ny\r\nBrume Tessaline - Application\r\n";
  for (const auto& c : cases) {
    EXPECT_EQ(UnitAddressFlags(c.address, c.table), c.flags) << c.name;
    EXPECT_EQ(Classify(reply, c.address, c.table), std::optional<std::uint16_t>(c.flags)) << c.name;
  }
}

TEST(DiscoveryRequest, GoesToEachInterfaceBroadcastButNeverLoopback) {
  EXPECT_EQ(DiscoveryBroadcastTargets(kHostTable),
            (std::vector<std::uint32_t>{Ip(192, 168, 1, 255), Ip(10, 4, 255, 255)}));
  const InterfaceTable unconfigured = {{Ip(0, 0, 0, 0), Ip(0, 0, 0, 0)}};
  EXPECT_EQ(DiscoveryBroadcastTargets(unconfigured),
            (std::vector<std::uint32_t>{Ip(255, 255, 255, 255)}));
  EXPECT_EQ(kDiscoveryRequestText.size(), 29u);
}

TEST(UsableUnitAddress, RefusesLoopbackAndLocalBroadcastAddresses) {
  const InterfaceTable table = {{Ip(127, 0, 0, 1), Ip(255, 0, 0, 0)},
                                {Ip(192, 168, 1, 20), Ip(255, 255, 255, 0)}};
  struct Case {
    const char* name;
    std::uint32_t address;
    std::optional<InterfaceTable> table;
    bool usable;
  };
  const std::vector<Case> cases = {
      {"loopback host", Ip(127, 0, 0, 1), table, false},
      {"loopback even without a table", Ip(127, 0, 0, 1), std::nullopt, false},
      {"subnet broadcast", Ip(192, 168, 1, 255), table, false},
      {"unit on the subnet", Ip(192, 168, 1, 30), table, true},
      {"loopback row's broadcast is not checked", Ip(127, 255, 255, 255), table, true},
      {"other loopback address", Ip(127, 0, 0, 2), table, true},
      {"table unreadable", Ip(192, 168, 1, 255), std::nullopt, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsUsableUnitAddress(c.address, c.table), c.usable) << c.name;
  }
  EXPECT_FALSE(IsUsableUnitAddress(Ip(127, 0, 0, 1)));
}

TEST(SplitReplyLines, SplitsAtCarriageReturnsAndSkipsTheByteAfter) {
  struct Case {
    const char* name;
    std::string text;
    std::array<std::optional<std::string>, 3> lines;
  };
  const std::vector<Case> cases = {
      {"three lines", "one\r\ntwo\r\nthree\r\n", {"one", "two", "three"}},
      {"third without end", "one\r\ntwo\r\nthree", {"one", "two", "three"}},
      {"no CR", "only", {"only", std::nullopt, std::nullopt}},
      {"one CR", "one\r\ntwo", {"one", std::nullopt, std::nullopt}},
      {"empty third", "one\r\ntwo\r\n", {"one", "two", ""}},
      {"CR at the very end", "one\r", {"one", std::nullopt, std::nullopt}},
      {"second CR at the end", "one\r\ntwo\r", {"one", "two", ""}},
      {"fourth line ignored", "a\r\nb\r\nc\r\nd\r\n", {"a", "b", "c"}},
      {"empty text", "", {"", std::nullopt, std::nullopt}},
  };
  for (const auto& c : cases) {
    const ReplyLines split = SplitReplyLines(c.text);
    for (std::size_t i = 0; i < 3; ++i) {
      ASSERT_EQ(split.lines[i].has_value(), c.lines[i].has_value()) << c.name << " line " << i;
      if (c.lines[i]) {
        EXPECT_EQ(std::string(*split.lines[i]), *c.lines[i]) << c.name << " line " << i;
      }
    }
  }
}

TEST(BootloaderIdentityText, NeedsExactlyTheBootloadSuffixAfterTheIdentityLength) {
  const std::size_t length = kIdentity.size();
  EXPECT_TRUE(IsBootloaderIdentityText("l1\r\nl2\r\nBrume Tessaline - Bootload\r\n", length));
  // Only the length of the identity matters, not its letters.
  EXPECT_TRUE(IsBootloaderIdentityText("l1\r\nl2\r\nXXXXX XXXXXXXXX - Bootload", length));
  EXPECT_FALSE(IsBootloaderIdentityText("l1\r\nl2\r\nBrume Tessaline - Application\r\n", length));
  EXPECT_FALSE(IsBootloaderIdentityText("l1\r\nl2\r\nBrume Tessaline - Bootloader\r\n", length));
  EXPECT_FALSE(IsBootloaderIdentityText("l1\r\nl2\r\nBrume Tessalin - Bootload\r\n", length));
  EXPECT_FALSE(IsBootloaderIdentityText("l1\r\nl2\r\n - Bootload", length));
  EXPECT_FALSE(IsBootloaderIdentityText("l1\r\nBrume Tessaline - Bootload\r\n", length));
}

TEST(TextReplies, ReadsOnlyThePrefixAndTheEleventhCharacter) {
  struct Case {
    const char* reply;
    bool recognised;
    char letter;
  };
  const std::vector<Case> cases = {
      {"<sy,bq = ue/>", true, 'e'},  {"<sy,bq = ud/>", true, 'd'}, {"<sy,bq = xe/>", true, 'e'},
      {"<sy,bq = uq/>", true, 'q'},  {"<sy,bq =ue/>", false, '/'}, {"<sy,bq=ue/>", false, '>'},
      {"<SY,BQ = ue/>", false, 'e'}, {"<sy,bq = u", true, '\0'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsBootloadQueryReply(c.reply), c.recognised) << c.reply;
    EXPECT_EQ(BootloadStateLetter(c.reply), c.letter) << c.reply;
  }
}

TEST(TextReplies, PinCommandAndPinForm) {
  EXPECT_EQ(PinCommand("0427"), "<SY,BU0427/>");
  for (const char* good : {"0000", "1234", "9999"}) EXPECT_TRUE(IsWellFormedPin(good)) << good;
  for (const char* bad : {"", "123", "12345", "12a4", "12 4", "/123", ":123"}) {
    EXPECT_FALSE(IsWellFormedPin(bad)) << bad;
  }
}

}  // namespace
}  // namespace tessaline
