// Intel HEX records as the bootloader receives them (raw bytes) and as a package holds them (text).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessaline::sim {

// The record types the unit's bootloader takes; any other type is a bad record.
enum class HexRecordType : std::uint8_t {
  Data = 0x00,
  EndOfFile = 0x01,
  ExtendedLinearAddress = 0x04,
  StartLinearAddress = 0x05,
};

struct HexRecord {
  HexRecordType type = HexRecordType::Data;
  std::uint16_t offset = 0;  // address field, big-endian on the wire
  std::vector<std::uint8_t> data;
};

// One raw record (count, address BE, type, data, checksum) at the start of `bytes`; `used` gets
// its length. Empty when the record is cut short, its checksum is wrong, its type is not one of
// the four above, or its shape does not fit its type.
std::optional<HexRecord> DecodeRawRecord(std::span<const std::uint8_t> bytes, std::size_t* used);

// Records back to back with nothing between or after them; empty if any one is bad or the batch
// is empty.
std::optional<std::vector<HexRecord>> DecodeRecordBatch(std::span<const std::uint8_t> batch);

// ":LLAAAATT...CC" text of one line to raw record bytes (no checks beyond hex digits).
std::optional<std::vector<std::uint8_t>> HexLineBytes(const std::string& line);

}  // namespace tessaline::sim
