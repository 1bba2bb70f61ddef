// The application image: records as their lines encode them, refused damage, handing out.
#include "package/hex_manager.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "package/temp_file.h"

namespace tessaline {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Every record in order, as NextRecord hands them out.
std::vector<Bytes> TakeAll(CHexManager& image) {
  std::vector<Bytes> records;
  std::array<std::uint8_t, kMaxHexRecordBytes> buffer{};
  image.RewindRecords();
  while (const std::uint16_t n = image.NextRecord(buffer.data(), buffer.size())) {
    records.emplace_back(buffer.begin(), buffer.begin() + n);
  }
  return records;
}

// The least an image needs around the lines under test: one data record and the end.
const std::string kDataAndEnd = ":0100000055AA\r\n:00000001FF\r\n";

struct GoodLine {
  const char* line;
  Bytes record;
};

TEST(CHexManager, KeepsEachRecordExactlyAsItsLineEncodesIt) {
  const std::vector<GoodLine> cases = {
      {":020000040802F0", {0x02, 0x00, 0x00, 0x04, 0x08, 0x02, 0xF0}},
      {":00000001FF", {0x00, 0x00, 0x00, 0x01, 0xFF}},
      {":040000050803373D78", {0x04, 0x00, 0x00, 0x05, 0x08, 0x03, 0x37, 0x3D, 0x78}},
      {":04fffc0002000100fe", {0x04, 0xFF, 0xFC, 0x00, 0x02, 0x00, 0x01, 0x00, 0xFE}},
  };
  for (const GoodLine& c : cases) {
    const test::TempFile file(std::string(c.line) + "\r\n" + kDataAndEnd);
    CHexManager image;
    ASSERT_TRUE(image.LoadFromFile(file.Path())) << c.line << ": " << image.LastError();
    EXPECT_EQ(image.RecordCount(), 3u) << c.line;
    EXPECT_EQ(TakeAll(image).front(), c.record) << c.line;
    EXPECT_TRUE(image.LastError().empty());
  }
}

TEST(CHexManager, AcceptsTheLongestRecordAndAnEmptyLine) {
  // 251 data bytes make a 256-byte record.
  std::string line = ":FB000000";
  unsigned sum = 0xFB;
  for (int i = 0; i < 251; ++i) {
    line += "01";
    sum += 1;
  }
  const unsigned checksum = (0x100 - (sum & 0xFF)) & 0xFF;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  line += kDigits[checksum >> 4];
  line += kDigits[checksum & 0xF];

  const test::TempFile file("\r\n" + line + "\r\n:00000001FF\r\n");
  CHexManager image;
  ASSERT_TRUE(image.LoadFromFile(file.Path())) << image.LastError();
  const auto records = TakeAll(image);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].size(), kMaxHexRecordBytes);
}

struct BadLine {
  const char* what;
  std::string text;
  std::string error;
};

TEST(CHexManager, RefusesADamagedImageAndSaysWhichLineAndWhy) {
  const std::string good = ":020000040802F0\r\n";
  const std::vector<BadLine> cases = {
      {"no record mark", good + "020000040802F0\r\n", "line 2: no ':' record mark"},
      {"odd line", good + ":020000040802F\r\n", "line 2: odd number of hexadecimal digits"},
      {"a lone mark", good + good + ":\r\n", "line 3: record shorter than 5 bytes"},
      {"too short", ":00000001\r\n", "line 1: record shorter than 5 bytes"},
      {"not hexadecimal", good + ":02000004080G\r\n",
       "line 2: '0G' at column 12 is not a hexadecimal pair"},
      {"trailing blank", ":00000001FF \r\n", "line 1: odd number of hexadecimal digits"},
      {"count too large", ":030000040802EF\r\n",
       "line 1: byte count 3 disagrees with the line's 2 data bytes"},
      {"count too small", ":010000040802F1\r\n",
       "line 1: byte count 1 disagrees with the line's 2 data bytes"},
      {"wrong checksum", good + "\r\n\r\n:020000040802F1\r\n",
       "line 4: wrong checksum F1 (expected F0)"},
      {"record over 256 bytes", ":FC000000" + std::string(2 * 252 + 2, '0') + "\r\n",
       "line 1: record longer than 256 bytes"},
      {"line over the line limit", ":" + std::string(2000, '0') + "\r\n",
       "line 1: record longer than 256 bytes"},
  };
  for (const BadLine& c : cases) {
    const test::TempFile file(c.text + ":00000001FF\r\n");
    CHexManager image;
    EXPECT_FALSE(image.LoadFromFile(file.Path())) << c.what;
    EXPECT_EQ(image.LastError(), c.error) << c.what;
    EXPECT_EQ(image.RecordCount(), 0u) << c.what;
    std::array<std::uint8_t, kMaxHexRecordBytes> buffer{};
    EXPECT_EQ(image.NextRecord(buffer.data(), buffer.size()), 0u) << c.what;
  }
}

TEST(CHexManager, RefusesAnImageThatWritesNothingOrIsCutShort) {
  const std::vector<BadLine> cases = {
      {"empty", "", "the image has no data records"},
      {"only the end", ":00000001FF\r\n", "the image has no data records"},
      {"an empty data record", ":0000000000\r\n:00000001FF\r\n", "the image has no data records"},
      {"no end", ":020000040802F0\r\n:0100000055AA\r\n", "the image has no end-of-file record"},
  };
  for (const BadLine& c : cases) {
    const test::TempFile file(c.text);
    CHexManager image;
    EXPECT_FALSE(image.LoadFromFile(file.Path())) << c.what;
    EXPECT_EQ(image.LastError(), c.error) << c.what;
    EXPECT_EQ(image.RecordCount(), 0u) << c.what;
  }
  // The end-of-file record on a last line without a line end still counts.
  const test::TempFile unterminated(":0100000055AA\r\n:00000001FF");
  CHexManager image;
  EXPECT_TRUE(image.LoadFromFile(unterminated.Path())) << image.LastError();
  EXPECT_EQ(image.RecordCount(), 2u);
}

TEST(CHexManager, ChecksumCheckCanBeTurnedOffButTheRestStays) {
  const test::TempFile badSum(":020000040802F1\r\n" + kDataAndEnd);
  const test::TempFile badCount(":030000040802EF\r\n");
  CHexManager image;
  image.SetChecksumCheck(false);
  EXPECT_TRUE(image.LoadFromFile(badSum.Path()));
  EXPECT_EQ(image.RecordCount(), 3u);
  EXPECT_FALSE(image.LoadFromFile(badCount.Path()));
}

TEST(CHexManager, HandsOutRecordsInOrderAndStopsAtTheEnd) {
  const test::TempFile file(":020000040802F0\r\n:0100000055AA\r\n:00000001FF\r\n");
  CHexManager image;
  ASSERT_TRUE(image.LoadFromFile(file.Path()));
  ASSERT_EQ(image.RecordCount(), 3u);

  std::array<std::uint8_t, kMaxHexRecordBytes> buffer{};
  EXPECT_EQ(image.NextRecord(buffer.data(), buffer.size()), 7u);
  EXPECT_EQ(image.NextRecord(buffer.data(), buffer.size()), 6u);
  EXPECT_EQ(buffer[4], 0x55);
  EXPECT_EQ(image.RecordsTaken(), 2u);
  EXPECT_EQ(image.NextRecord(buffer.data(), buffer.size()), 5u);
  EXPECT_EQ(image.NextRecord(buffer.data(), buffer.size()), 0u);
  EXPECT_EQ(image.RecordsTaken(), 3u);

  // A small capacity cuts the record and its rest is never handed out.
  image.RewindRecords();
  EXPECT_EQ(image.RecordsTaken(), 0u);
  EXPECT_EQ(image.NextRecord(buffer.data(), 3), 3u);
  EXPECT_EQ(image.NextRecord(buffer.data(), buffer.size()), 6u);
  EXPECT_EQ(buffer[0], 0x01);
}

TEST(CHexManager, EachLoadStartsFromAnEmptyImage) {
  const test::TempFile first(":020000040802F0\r\n:020000040803EF\r\n" + kDataAndEnd);
  const test::TempFile second(kDataAndEnd);
  const test::TempFile damaged(":00000001FE\r\n");
  CHexManager image;
  ASSERT_TRUE(image.LoadFromFile(first.Path()));
  ASSERT_TRUE(image.LoadFromFile(second.Path()));
  EXPECT_EQ(TakeAll(image), (std::vector<Bytes>{{0x01, 0x00, 0x00, 0x00, 0x55, 0xAA},
                                                 {0x00, 0x00, 0x00, 0x01, 0xFF}}));

  ASSERT_FALSE(image.LoadFromFile(damaged.Path()));
  EXPECT_EQ(image.RecordCount(), 0u);
  ASSERT_TRUE(image.LoadFromFile(second.Path()));
  EXPECT_TRUE(image.LastError().empty());

  image.ClearRecords();
  EXPECT_EQ(image.RecordCount(), 0u);
  EXPECT_TRUE(TakeAll(image).empty());
}

TEST(CHexManager, AMissingResourceLeavesTheImageEmpty) {
  CHexManager image;
  const test::TempFile file(kDataAndEnd);
  ASSERT_TRUE(image.LoadFromFile(file.Path()));
  EXPECT_FALSE(image.LoadHexResource("APPLICATION_GD32_ADAU1462"));
  EXPECT_EQ(image.RecordCount(), 0u);
  EXPECT_NE(image.LastError().find("APPLICATION_GD32_ADAU1462"), std::string::npos);
  EXPECT_FALSE(image.LoadFromFile(file.Path() + ".absent"));
  EXPECT_FALSE(image.LastError().empty());
}

}  // namespace
}  // namespace tessaline
