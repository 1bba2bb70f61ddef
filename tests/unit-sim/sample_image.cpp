// A small application image and flash data for update tests.
#include "sample_image.h"

#include <cstdio>

namespace tessaline::sim::testing {

std::string HexLine(std::uint16_t offset, std::uint8_t type, const Bytes& data) {
  Bytes record{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
               static_cast<std::uint8_t>(offset), type};
  record.insert(record.end(), data.begin(), data.end());
  std::uint8_t sum = 0;
  for (std::uint8_t byte : record) sum = static_cast<std::uint8_t>(sum + byte);
  record.push_back(static_cast<std::uint8_t>(0x100 - sum));
  std::string line = ":";
  for (std::uint8_t byte : record) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", byte);
    line += pair;
  }
  return line + "\r\n";
}

std::string SampleHexText() {
  std::string text = HexLine(0, 0x04, {0x08, 0x02});
  for (std::uint16_t row = 0; row < 20; ++row) {
    Bytes data(16);
    // Values that need escaping on the wire (0x01, 0x04, 0x10) appear on purpose.
    for (std::size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<std::uint8_t>((row * 16 + i) % 19);
    }
    text += HexLine(static_cast<std::uint16_t>(row * 16), 0x00, data);
  }
  text += HexLine(0x0400, 0x00, {0xDE, 0xAD, 0xBE, 0xEF});  // after a gap
  text += HexLine(0, 0x04, {0x08, 0x07});
  text += HexLine(0xFFFC, 0x00, {0x02, 0x00, 0x01, 0x00});
  text += HexLine(0, 0x05, {0x08, 0x02, 0x01, 0x01});
  text += HexLine(0, 0x01, {});
  return text;
}

Bytes SampleFlashData() {
  Bytes data(150);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return data;
}

}  // namespace tessaline::sim::testing
