// Request building, framing, the receiver's decoding rules and the short form of replies.
#include "link/packet_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/crc16.h"

namespace tessaline {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(const Bytes& packet) {
  Bytes out;
  FrameBytes(packet, out);
  return out;
}

Bytes Build(std::uint8_t command, const Bytes& data, std::uint32_t length, std::uint32_t& counter) {
  std::array<std::uint8_t, kFrameCapacity> packet{};
  const auto size =
      BuildRequest(command, data.empty() ? nullptr : data.data(), length, counter, packet);
  return size ? Bytes(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(*size))
              : Bytes();
}

Bytes Decode(const std::vector<Bytes>& reads) {
  FrameDecoder decoder;
  for (const Bytes& chunk : reads) decoder.Feed(chunk.data(), chunk.size());
  return decoder.Take();
}

TEST(PacketCodec, BuildsTheWorkedExampleFrames) {
  std::uint32_t counter = 77;
  EXPECT_EQ(Frame(Build(0x01, {}, 0, counter)), (Bytes{0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04}));
  EXPECT_EQ(counter, 0u);
  EXPECT_EQ(Frame(Build(0x81, {}, 0, counter)),
            (Bytes{0x01, 0x81, 0x00, 0x00, 0x00, 0x10, 0x01, 0xA0, 0x98, 0x04}));
}

TEST(PacketCodec, AppliesTheCounterAndDataFieldRules) {
  Bytes chunk(100);
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(0x20 + i);
  const Bytes chunk72(chunk.begin(), chunk.begin() + 72);
  struct Case {
    const char* name;
    std::uint8_t command;
    Bytes data;
    std::uint32_t length;
    std::uint32_t counterBefore;
    std::uint32_t counterAfter;
    Bytes bodyWithoutCrc;
  };
  const Case cases[] = {
      {"0x81 resets then carries 1", 0x81, {}, 0, 41, 1, {0x81, 0, 0, 0, 1}},
      {"next sequenced carries 2", 0x82, {}, 0, 1, 2, {0x82, 0, 0, 0, 2}},
      {"wrap skips 0", 0x85, {}, 0, 0xFFFFFFFF, 1, {0x85, 0, 0, 0, 1}},
      {"big-endian number", 0x87, {}, 0, 0x12345677, 0x12345678, {0x87, 0x12, 0x34, 0x56, 0x78}},
      {"plain leaves the counter", 0x09, {9, 9}, 2, 5, 5, {0x09}},
      {"caller data and length", 0x03, {0xAA, 0xBB, 0xCC}, 2, 0, 0, {0x03, 0xAA, 0xBB}},
      {"sequenced caller data", 0x83, {0x10}, 1, 3, 4, {0x83, 0, 0, 0, 4, 0x10}},
      {"text up to and with its NUL", 0x0A, {'h', 'i', 0, 'x'}, 1, 0, 0, {0x0A, 'h', 'i', 0}},
  };
  for (const Case& c : cases) {
    std::uint32_t counter = c.counterBefore;
    Bytes expected = c.bodyWithoutCrc;
    AppendCrc(expected);
    EXPECT_EQ(Build(c.command, c.data, c.length, counter), expected) << c.name;
    EXPECT_EQ(counter, c.counterAfter) << c.name;
  }
  std::uint32_t counter = 0;
  Bytes expected{0x06};
  expected.insert(expected.end(), chunk72.begin(), chunk72.end());
  AppendCrc(expected);
  EXPECT_EQ(Build(0x06, chunk, 3, counter), expected) << "0x06 takes exactly 72 bytes";
}

TEST(PacketCodec, RefusesUnlistedCodesAndMissingData) {
  std::uint32_t counter = 0;
  for (const std::uint8_t code : Bytes{0x00, 0x08, 0x10, 0x42, 0x7F, 0x80, 0x88, 0x90, 0xFF}) {
    EXPECT_TRUE(Build(code, {1, 2}, 2, counter).empty()) << int{code};
    EXPECT_FALSE(RuleFor(code).listed) << int{code};
  }
  EXPECT_TRUE(Build(0x06, {}, 72, counter).empty());
  EXPECT_TRUE(Build(0x03, Bytes(2046, 0x55), 2046, counter).empty()) << "unframed past 2048";
  EXPECT_TRUE(Build(0x0A, Bytes(2100, 'a'), 0, counter).empty()) << "text without its NUL";
}

TEST(PacketCodec, StuffsTheThreeSpecialBytesAndDecodesThemBack) {
  Bytes packet{0x03, 0x01, 0x04, 0x10, 0x02, 0x11};
  AppendCrc(packet);
  const Bytes framed = Frame(packet);
  EXPECT_EQ(Bytes(framed.begin(), framed.begin() + 9),
            (Bytes{0x01, 0x03, 0x10, 0x01, 0x10, 0x04, 0x10, 0x10, 0x02}));
  EXPECT_EQ(framed.back(), kEot);
  EXPECT_EQ(Decode({framed}), packet);
}

TEST(PacketCodec, DecodesTheReceiverEdgeCases) {
  const Bytes reply = {0x01, 0x81, 0x00, 0x00, 0x00, 0x10, 0x01, 0x10, 0x01, 0x90, 0xB2, 0x04};
  const Bytes decoded = {0x81, 0x00, 0x00, 0x00, 0x01, 0x01, 0x90, 0xB2};
  Bytes other{0x09, 0x07};
  AppendCrc(other);
  const Bytes otherFrame = Frame(other);
  Bytes both = reply;
  both.insert(both.end(), otherFrame.begin(), otherFrame.end());
  Bytes badCrc = reply;
  badCrc[9] ^= 0xFF;
  // The longest frame the receiver keeps, and one byte more.
  Bytes longest(kMaxDecodedReply - kCrcBytes, 0x55);
  AppendCrc(longest);
  Bytes tooLong(kMaxDecodedReply + 1 - kCrcBytes, 0x55);
  AppendCrc(tooLong);
  Bytes overlong(2100, 0x55);
  overlong.front() = kSoh;
  overlong.insert(overlong.end(), reply.begin() + 1, reply.end());
  struct Case {
    const char* name;
    std::vector<Bytes> reads;
    Bytes expected;  // empty: no frame completes
  };
  const Case cases[] = {
      {"worked reply example", {reply}, decoded},
      {"DLE at the end of one read",
       {Bytes(reply.begin(), reply.begin() + 6), Bytes(reply.begin() + 6, reply.end())},
       decoded},
      {"second frame of a read is lost", {both}, decoded},
      {"bad CRC then a good frame", {badCrc, otherFrame}, other},
      {"no SOH needed", {Bytes(otherFrame.begin() + 1, otherFrame.end())}, other},
      {"EOT after two bytes matching the empty CRC", {{0x01, 0x00, 0x00, 0x04}}, {}},
      {"EOT after one byte", {{0x01, 0x00, 0x04}}, {}},
      {"escaped EOT is data", {{0x01, 0x09, 0x10, 0x04}}, {}},
      {"overlong frame restarts at 2046 and fails", {overlong}, {}},
      {"a frame of exactly 2046 decoded bytes completes", {Frame(longest)}, longest},
      {"a frame of 2047 decoded bytes fails", {Frame(tooLong)}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.reads), c.expected) << c.name;

  FrameDecoder decoder;
  EXPECT_EQ(decoder.Feed(both.data(), both.size()), reply.size()) << "stops after the frame";
}

TEST(PacketCodec, RewritesASequencedReplyIntoTheShortForm) {
  Bytes decoded = {0x81, 0x00, 0x00, 0x00, 0x01, 0x01, 0x90, 0xB2};
  const auto length =
      ShortFormOfSequencedReply(decoded.data(), static_cast<std::uint16_t>(decoded.size()));
  ASSERT_EQ(length, 4);
  EXPECT_EQ(Bytes(decoded.begin(), decoded.begin() + 4), (Bytes{0x01, 0x01, 0x10, 0x23}));

  Bytes twoData{0x86, 0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02};
  AppendCrc(twoData);
  const auto shortLength =
      ShortFormOfSequencedReply(twoData.data(), static_cast<std::uint16_t>(twoData.size()));
  Bytes expected{0x06, 0x01, 0x02};
  AppendCrc(expected);
  EXPECT_EQ(Bytes(twoData.begin(), twoData.begin() + shortLength), expected);
}

}  // namespace
}  // namespace tessaline
