// The simulated bootloader over UDP: identity forms, a whole update, refusals, repeats, modes.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "sample_image.h"
#include "sim_test_support.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline::sim {
namespace {

using testing::Bytes;
using testing::ChunkPayload;
using testing::HexLine;
using testing::RawRecords;
using testing::ReplyData;
using testing::ReplySequence;
using testing::UdpBootloaderClient;

struct UdpUnit {
  explicit UdpUnit(const std::string& address, UnitConfig config = {})
      : unit([&] {
          config.udpAddress = address;
          return config;
        }()),
        client(address) {
    std::string error;
    started = unit.Start(&error);
    EXPECT_TRUE(started) << error;
  }
  SimulatedUnit unit;
  UdpBootloaderClient client;
  bool started = false;
};

Bytes Status(std::uint8_t status) { return Bytes{status}; }

TEST(SimulatedBootloader, IdentityRepliesCarryVersionCapabilityAndText) {
  UnitConfig config;
  config.bootloaderMajor = 2;
  config.bootloaderMinor = 7;
  config.mcuFamily = "GD32";
  config.dsp = "ADAU1462";
  UdpUnit u("127.0.93.10", config);

  const auto plain = u.client.Exchange(0x01);
  ASSERT_TRUE(plain);
  const std::string text = "Tessaline,GD32,ADAU1462";
  Bytes expected{0x01, 2, 7, 1};
  expected.insert(expected.end(), text.begin(), text.end());
  EXPECT_EQ(Bytes(plain->begin(), plain->end() - 2), expected);

  const auto lines = u.client.Exchange(0x0D);
  ASSERT_TRUE(lines);
  const Bytes data = ReplyData(*lines);
  EXPECT_EQ(std::string(data.begin(), data.end()),
            "Tessaline unit\r\n00-1B-C5-00-00-01\r\nBrume Tessaline - Bootload\r\n");

  const auto version = u.client.Exchange(0x89, 0x01020304);
  ASSERT_TRUE(version);
  EXPECT_EQ(version->at(0), 0x89);
  EXPECT_EQ(ReplySequence(*version), 0x01020304u);
  EXPECT_EQ(ReplyData(*version), (Bytes{0x01, 0x00, 0x01, 0x00}));  // 1.1, little-endian
}

TEST(SimulatedBootloader, WithoutSequencedFormsAnswersOnlyPlainCodes) {
  UnitConfig config;
  config.sequencedCapable = false;
  UdpUnit u("127.0.93.11", config);
  const auto identity = u.client.Exchange(0x01);
  ASSERT_TRUE(identity);
  EXPECT_EQ(ReplyData(*identity), (Bytes{1, 0}));
  EXPECT_FALSE(u.client.Exchange(0x89, 1, {}, 300));
  EXPECT_TRUE(u.client.Exchange(0x09));
}

TEST(SimulatedBootloader, WholeUpdateLeavesPackageBytesInMemory) {
  UdpUnit u("127.0.93.12");
  const std::string hex = testing::SampleHexText();
  const Bytes flash = testing::SampleFlashData();
  auto exchange = [&](std::uint8_t command, std::uint32_t sequence, const Bytes& data) {
    return u.client.Exchange(command, sequence, data, command == 0x84 ? 100 : 1000);
  };
  ASSERT_TRUE(testing::RunUpdate(exchange, hex, flash));

  const auto image = DecodeIntelHex(hex);
  ASSERT_TRUE(image);
  EXPECT_EQ(u.unit.ApplicationBase(), 0x08020000u);
  EXPECT_EQ(u.unit.ApplicationMemory(), image->bytes);
  EXPECT_EQ(u.unit.ApplicationDigest().sha256, Sha256Hex(image->bytes));
  EXPECT_EQ(u.unit.ApplicationDigest().length, 0x0807FFFC + 4 - 0x08020000u);
  EXPECT_EQ(u.unit.FlashData(), flash);
  EXPECT_EQ(u.unit.FlashDataDigest().sha256, Sha256Hex(flash));
  EXPECT_EQ(u.unit.ApplicationVersion(), 0x00010002u);
  EXPECT_TRUE(u.unit.FactoryDefaultsRestored());
  EXPECT_TRUE(u.unit.UpdateFinished());
  EXPECT_EQ(u.unit.Mode(), UnitMode::Application);

  const std::vector<std::uint8_t> order = u.unit.CommandOrder();
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(order.front(), 0x01);
  EXPECT_EQ(order[1], 0x82);
  EXPECT_EQ(order[2], 0x8E);
  EXPECT_EQ(order.back(), 0x84);
  // A unit running its application ignores the bootloader.
  EXPECT_FALSE(u.client.Exchange(0x01, 0, {}, 300));
}

// Each case drives the unit into a state with `setup` and expects `command` to get `status`.
struct OrderCase {
  const char* name;
  std::vector<std::pair<std::uint8_t, Bytes>> setup;
  std::uint8_t command;
  Bytes data;
  std::uint8_t status;
};

Bytes Record(std::uint16_t offset, std::uint8_t type, const Bytes& data) {
  return RawRecords(HexLine(offset, type, data)).at(0);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(SimulatedBootloader, RefusesWhatARealUnitRefuses) {
  const Bytes upper0802 = Record(0, 0x04, {0x08, 0x02});
  const Bytes data16 = Record(0x0000, 0x00, Bytes(16, 0x5A));
  Bytes badChecksum = data16;
  badChecksum.back() ^= 1;
  const std::vector<OrderCase> cases = {
      {"records before begin", {{0x82, {}}}, 0x83, Concat({upper0802, data16}), 0},
      {"begin without erase", {}, 0x8E, {}, 0},
      {"end without begin", {{0x82, {}}}, 0x8F, {}, 0},
      {"chunk without erase", {}, 0x86, ChunkPayload(0x40000, {1, 2, 3}), 0},
      {"flash end without erase", {}, 0x87, {}, 0},
      {"bad checksum", {{0x82, {}}, {0x8E, {}}}, 0x83, Concat({upper0802, badChecksum}), 0},
      {"record type 02", {{0x82, {}}, {0x8E, {}}}, 0x83, Record(0, 0x02, {0x10, 0x00}), 0},
      {"record cut short",
       {{0x82, {}}, {0x8E, {}}},
       0x83,
       Bytes(data16.begin(), data16.end() - 3),
       0},
      {"below the application area", {{0x82, {}}, {0x8E, {}}}, 0x83, data16, 0},
      {"good batch", {{0x82, {}}, {0x8E, {}}}, 0x83, Concat({upper0802, data16}), 1},
      {"records after end of file",
       {{0x82, {}}, {0x8E, {}}},
       0x83,
       Concat({Record(0, 0x01, {}), upper0802, data16}),
       0},
      {"chunk length 0", {{0x85, {}}}, 0x86, ChunkPayload(0x40000, {}), 0},
      {"chunk below flash data", {{0x85, {}}}, 0x86, ChunkPayload(0x3FFC0, Bytes(64, 1)), 0},
      {"chunk of 71 bytes", {{0x85, {}}}, 0x86, Bytes(71, 0), 0},
      {"good chunk", {{0x85, {}}}, 0x86, ChunkPayload(0x40000, Bytes(64, 1)), 1},
      {"factory defaults mid-transfer", {{0x85, {}}}, 0x8C, {}, 0},
      {"factory defaults", {}, 0x8C, {}, 1},
  };
  int index = 0;
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    UdpUnit u("127.0.93." + std::to_string(40 + index++));
    std::uint32_t sequence = 0;
    for (const auto& [command, data] : c.setup) {
      const auto reply = u.client.Exchange(command, ++sequence, data);
      ASSERT_TRUE(reply);
      ASSERT_EQ(ReplyData(*reply), Status(1));
    }
    const auto reply = u.client.Exchange(c.command, ++sequence, c.data);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->at(0), c.command);
    EXPECT_EQ(ReplySequence(*reply), sequence);
    EXPECT_EQ(ReplyData(*reply), Status(c.status));
    if (c.status == 0) {
      EXPECT_TRUE(u.unit.ApplicationMemory().empty());
      EXPECT_TRUE(u.unit.FlashData().empty());
    }
  }
}

TEST(SimulatedBootloader, BadRecordLateInABatchAppliesNothingOfIt) {
  UdpUnit u("127.0.93.13");
  ASSERT_TRUE(u.client.Exchange(0x82, 1));
  ASSERT_TRUE(u.client.Exchange(0x8E, 2));
  const Bytes batch = Concat({Record(0, 0x04, {0x08, 0x02}), Record(0, 0x00, Bytes(16, 0x11)),
                              Record(0x10, 0x00, Bytes(16, 0x22)), Bytes{0x02, 0x00}});
  const auto reply = u.client.Exchange(0x83, 3, batch);
  ASSERT_TRUE(reply);
  EXPECT_EQ(ReplyData(*reply), Status(0));
  EXPECT_TRUE(u.unit.ApplicationMemory().empty());
}

TEST(SimulatedBootloader, ConflictingRewriteIsRefusedAndAnIdenticalOneIsHarmless) {
  UdpUnit u("127.0.93.14");
  ASSERT_TRUE(u.client.Exchange(0x85, 1));
  EXPECT_EQ(ReplyData(*u.client.Exchange(0x86, 2, ChunkPayload(0x40000, {1, 2, 3}))), Status(1));
  EXPECT_EQ(ReplyData(*u.client.Exchange(0x86, 3, ChunkPayload(0x40000, {1, 2, 3}))), Status(1));
  EXPECT_EQ(ReplyData(*u.client.Exchange(0x86, 4, ChunkPayload(0x40001, {9}))), Status(0));
  EXPECT_EQ(u.unit.FlashData(), (Bytes{1, 2, 3}));
  // An erase makes the space writable again.
  ASSERT_TRUE(u.client.Exchange(0x85, 5));
  EXPECT_EQ(ReplyData(*u.client.Exchange(0x86, 6, ChunkPayload(0x40001, {9}))), Status(1));
  EXPECT_EQ(u.unit.FlashData(), (Bytes{0xFF, 9}));
}

TEST(SimulatedBootloader, RepeatedRequestIsAnsweredAgainButAppliedOnce) {
  UdpUnit u("127.0.93.15");
  ASSERT_TRUE(u.client.Exchange(0x01));
  ASSERT_EQ(ReplyData(*u.client.Exchange(0x82, 1)), Status(1));
  ASSERT_EQ(ReplyData(*u.client.Exchange(0x8E, 2)), Status(1));
  // Applied twice, a begin would be refused: the transfer is already open.
  const auto again = u.client.Exchange(0x8E, 2);
  ASSERT_TRUE(again);
  EXPECT_EQ(ReplySequence(*again), 2u);
  EXPECT_EQ(ReplyData(*again), Status(1));

  const auto log = u.unit.RequestLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_FALSE(log[2].resent);
  EXPECT_TRUE(log[3].resent);
  EXPECT_FALSE(log[3].applied);
  EXPECT_EQ(log[3].command, 0x8E);
  EXPECT_EQ(log[3].sequence, 2u);
  EXPECT_EQ(u.unit.CommandOrder(), (std::vector<std::uint8_t>{0x01, 0x82, 0x8E}));
  // A fresh number is a new request: a second begin is refused.
  EXPECT_EQ(ReplyData(*u.client.Exchange(0x8E, 3)), Status(0));
}

TEST(SimulatedBootloader, ExitLeavesBootloadModeWithoutAnswer) {
  UdpUnit u("127.0.93.16");
  EXPECT_FALSE(u.client.Exchange(0x8B, 1, {}, 300));
  EXPECT_EQ(u.unit.Mode(), UnitMode::Application);
  EXPECT_FALSE(u.unit.UpdateFinished());
  u.unit.SetMode(UnitMode::Bootloader);
  EXPECT_TRUE(u.client.Exchange(0x01));
}

TEST(SimulatedBootloader, ErasedApplicationReportsErasedVersion) {
  UdpUnit u("127.0.93.17");
  ASSERT_TRUE(u.client.Exchange(0x02));
  EXPECT_EQ(ReplyData(*u.client.Exchange(0x09)), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

// The read-back after a whole update (where the final command would go) reports the version
// written, or with the stale-version fault the one from before the update.
TEST(SimulatedBootloader, ReadBackReportsTheWrittenVersionUnlessStale) {
  const std::vector<std::tuple<const char*, bool, Bytes>> cases = {
      {"127.0.95.1", false, Bytes{0x02, 0x00, 0x01, 0x00}},  // 1.2 from the sample image
      {"127.0.95.2", true, Bytes{0x01, 0x00, 0x01, 0x00}},   // 1.1, as before
  };
  for (const auto& [address, stale, expected] : cases) {
    SCOPED_TRACE(address);
    UnitConfig config;
    config.staleVersion = stale;
    UdpUnit u(address, config);
    std::optional<Bytes> readBack;
    auto exchange = [&](std::uint8_t command, std::uint32_t sequence, const Bytes& data) {
      if (command != 0x84) return u.client.Exchange(command, sequence, data);
      readBack = u.client.Exchange(0x89, sequence);
      return readBack;
    };
    ASSERT_TRUE(testing::RunUpdate(exchange, testing::SampleHexText(), testing::SampleFlashData()));
    ASSERT_TRUE(readBack);
    EXPECT_EQ(ReplyData(*readBack), expected);
    EXPECT_EQ(u.unit.Mode(), UnitMode::Bootloader);  // no final command went out
  }
}

TEST(SimulatedBootloader, TwoUnitsOnTwoAddressesKeepTheirOwnState) {
  UdpUnit first("127.0.93.18");
  UdpUnit second("127.0.93.19");
  ASSERT_TRUE(first.client.Exchange(0x85, 1));
  ASSERT_TRUE(first.client.Exchange(0x86, 2, ChunkPayload(0x40000, {7})));
  EXPECT_EQ(first.unit.FlashData(), (Bytes{7}));
  EXPECT_TRUE(second.unit.FlashData().empty());
  EXPECT_EQ(ReplyData(*second.client.Exchange(0x86, 1, ChunkPayload(0x40000, {7}))), Status(0));
}

TEST(SimulatedBootloader, SecondUnitOnTheSameAddressFailsToStart) {
  UdpUnit first("127.0.93.20");
  UnitConfig config;
  config.udpAddress = "127.0.93.20";
  SimulatedUnit second(config);
  std::string error;
  EXPECT_FALSE(second.Start(&error));
  EXPECT_NE(error.find("6234"), std::string::npos) << error;
}

}  // namespace
}  // namespace tessaline::sim
