// CRC-16/XMODEM check values.
#include "link/crc16.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tessaline {
namespace {

TEST(Crc16, MatchesTheKnownCheckValues) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::uint16_t crc;
  };
  const auto text = [](std::string_view s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
  };
  const Case cases[] = {
      {{}, 0x0000},
      {text("abc"), 0x9DD6},
      {text("123456789"), 0x31C3},
      {{0x01}, 0x1021},
      {{0x81, 0x00, 0x00, 0x00, 0x01}, 0x98A0},
      {{0x01, 0x01}, 0x2310},
      {{0x81, 0x00, 0x00, 0x00, 0x01, 0x01}, 0xB290},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Crc16(c.bytes.data(), c.bytes.size()), c.crc) << "length " << c.bytes.size();
  }
}

TEST(Crc16, AppendingTheCrcBigEndianGivesZero) {
  // The residue property of a non-reflected CRC with no final XOR exercises every table entry.
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  const std::uint16_t crc = Crc16(bytes.data(), bytes.size());
  bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
  bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  EXPECT_EQ(Crc16(bytes.data(), bytes.size()), 0);
}

}  // namespace
}  // namespace tessaline
