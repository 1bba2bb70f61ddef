// SHA-256 test vectors and the Intel HEX decoding that predicts what a unit holds.
#include <gtest/gtest.h>

#include "sample_image.h"
#include "unit-sim/intel_hex.h"
#include "unit-sim/sha256.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline::sim {
namespace {

using testing::Bytes;
using testing::HexLine;

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(Sha256, KnownVectors) {
  const std::vector<std::pair<Bytes, std::string>> vectors = {
      {Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {Of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {Of("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
          "lmnopqrsmnopqrstnopqrstu"),
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {Bytes(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [message, digest] : vectors) {
    EXPECT_EQ(Sha256Hex(message), digest) << message.size() << " bytes";
  }
}

TEST(Sha256, PiecewiseUpdatesEqualOneUpdate) {
  Bytes message(300);
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i * 31);
  const std::string whole = Sha256Hex(message);
  for (std::size_t cut : {1u, 55u, 56u, 63u, 64u, 65u, 128u, 299u}) {
    Sha256 hash;
    hash.Update(std::span(message).first(cut));
    hash.Update(std::span(message).subspan(cut));
    EXPECT_EQ(LowerHex(hash.Finish()), whole) << "cut at " << cut;
  }
}

TEST(IntelHex, DecodesAddressesAndFillsGapsWithErasedBytes) {
  const std::string text = HexLine(0, 0x04, {0x08, 0x02}) + HexLine(0x0010, 0x00, {1, 2}) +
                           HexLine(0x0014, 0x00, {3}) + HexLine(0, 0x05, {0, 0, 0, 0}) +
                           HexLine(0, 0x01, {}) + HexLine(0x0020, 0x00, {9});  // after the end
  const auto image = DecodeIntelHex(text);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->base, 0x08020010u);
  EXPECT_EQ(image->bytes, (Bytes{1, 2, 0xFF, 0xFF, 3}));
}

TEST(IntelHex, RejectsBadTexts) {
  std::string badChecksum = HexLine(0, 0x00, {1, 2});
  badChecksum[badChecksum.size() - 3] ^= 1;
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"checksum", badChecksum},
      {"no record mark", HexLine(0, 0x00, {1}).substr(1)},
      {"odd digit count", ":0100000001FE0\r\n"},
      {"not hex", ":01000000G1FE\r\n"},
      {"count longer than line", ":0500000001FA\r\n"},
      {"segment address type", HexLine(0, 0x02, {0x10, 0})},
      {"overlapping data", HexLine(0, 0x00, {1, 2}) + HexLine(1, 0x00, {3})},
  };
  for (const auto& [name, text] : cases) EXPECT_FALSE(DecodeIntelHex(text)) << name;
}

TEST(IntelHex, BatchSplitsBackToBackRecords) {
  const auto one = testing::RawRecords(HexLine(0x1234, 0x00, {0xAA, 0xBB}))[0];
  const auto two = testing::RawRecords(HexLine(0, 0x04, {0x08, 0x07}))[0];
  Bytes batch = one;
  batch.insert(batch.end(), two.begin(), two.end());
  const auto records = DecodeRecordBatch(batch);
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), 2u);
  EXPECT_EQ((*records)[0].offset, 0x1234);
  EXPECT_EQ((*records)[0].data, (Bytes{0xAA, 0xBB}));
  EXPECT_EQ((*records)[1].type, HexRecordType::ExtendedLinearAddress);

  batch.push_back(0x00);  // a trailing byte is a record cut short
  EXPECT_FALSE(DecodeRecordBatch(batch));
  EXPECT_FALSE(DecodeRecordBatch({}));
}

}  // namespace
}  // namespace tessaline::sim
