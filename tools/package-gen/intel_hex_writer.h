// Writes Intel HEX text: data records under extended linear addresses, start address, end of file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tessaline::packagegen {

class IntelHexWriter {
 public:
  // One data record at a 32-bit address; an extended linear address record goes first whenever
  // the upper half differs from the last one written. The data must not cross a 64 KiB boundary.
  void Data(std::uint32_t address, std::span<const std::uint8_t> data);
  void StartLinearAddress(std::uint32_t address);
  void EndOfFile();

  const std::string& Text() const { return text_; }
  std::uint32_t RecordCount() const { return records_; }

 private:
  void Record(std::uint8_t type, std::uint16_t address, std::span<const std::uint8_t> data);

  std::string text_;
  std::uint32_t records_ = 0;
  std::optional<std::uint16_t> upperAddress_;
};

}  // namespace tessaline::packagegen
