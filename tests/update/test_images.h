// Small package images written to temporary files for the update tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tessaline::testing {

// One Intel HEX line (with its line end) for a record of `type` at the 16-bit `address`.
inline std::string HexLine(std::uint16_t address, std::uint8_t type,
                           const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> record{static_cast<std::uint8_t>(data.size()),
                                   static_cast<std::uint8_t>(address >> 8),
                                   static_cast<std::uint8_t>(address & 0xFF), type};
  record.insert(record.end(), data.begin(), data.end());
  std::uint8_t sum = 0;
  for (const auto byte : record) sum = static_cast<std::uint8_t>(sum + byte);
  record.push_back(static_cast<std::uint8_t>(0x100 - sum));
  std::string line = ":";
  char hex[3];
  for (const auto byte : record) {
    std::snprintf(hex, sizeof hex, "%02X", byte);
    line += hex;
  }
  return line + "\n";
}

// `count` data records of `dataBytes` bytes each (the last one the end-of-file record).
inline std::string HexText(std::size_t count, std::size_t dataBytes) {
  std::string text;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    std::vector<std::uint8_t> data(dataBytes);
    for (std::size_t j = 0; j < dataBytes; ++j) data[j] = static_cast<std::uint8_t>(i * 7 + j);
    text += HexLine(static_cast<std::uint16_t>(i * dataBytes), 0x00, data);
  }
  if (count > 0) text += HexLine(0, 0x01, {});
  return text;
}

// A file removed when the object goes.
class TempFile {
 public:
  TempFile(const std::string& name, const std::string& contents) {
    path_ = std::filesystem::temp_directory_path() /
            ("tessaline-update-test-" + std::to_string(Counter()++) + "-" + name);
    std::ofstream(path_, std::ios::binary) << contents;
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  std::string Path() const { return path_.string(); }

 private:
  static int& Counter() {
    static int counter = 0;
    return counter;
  }
  std::filesystem::path path_;
};

inline std::string Bytes(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i * 13 + 5);
  return bytes;
}

}  // namespace tessaline::testing
