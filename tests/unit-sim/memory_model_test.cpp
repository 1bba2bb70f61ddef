// The Intel HEX decoding that predicts what a unit holds.
#include <gtest/gtest.h>

#include "sample_image.h"
#include "unit-sim/intel_hex.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline::sim {
namespace {

using testing::Bytes;
using testing::HexLine;

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
