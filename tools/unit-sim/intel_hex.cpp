// Intel HEX record decoding for the bootloader model and for tests that predict its memory.
#include "intel_hex.h"

#include "simulated_unit.h"
#include "sparse_memory.h"

namespace tessaline::sim {
namespace {

constexpr std::size_t kRecordOverhead = 5;  // count, address (2), type, checksum

bool ShapeFitsType(const HexRecord& record) {
  switch (record.type) {
    case HexRecordType::Data:
      return !record.data.empty();
    case HexRecordType::EndOfFile:
      return record.data.empty() && record.offset == 0;
    case HexRecordType::ExtendedLinearAddress:
      return record.data.size() == 2 && record.offset == 0;
    case HexRecordType::StartLinearAddress:
      return record.data.size() == 4 && record.offset == 0;
  }
  return false;
}

int HexDigitValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  return -1;
}

}  // namespace

std::optional<HexRecord> DecodeRawRecord(std::span<const std::uint8_t> bytes, std::size_t* used) {
  if (bytes.size() < kRecordOverhead) return {};
  const std::size_t count = bytes[0];
  const std::size_t length = count + kRecordOverhead;
  if (bytes.size() < length) return {};
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  if (sum != 0) return {};
  const std::uint8_t type = bytes[3];
  if (type != 0x00 && type != 0x01 && type != 0x04 && type != 0x05) return {};
  HexRecord record;
  record.type = static_cast<HexRecordType>(type);
  record.offset = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
  record.data.assign(bytes.begin() + 4, bytes.begin() + 4 + static_cast<std::ptrdiff_t>(count));
  if (!ShapeFitsType(record)) return {};
  *used = length;
  return record;
}

std::optional<std::vector<HexRecord>> DecodeRecordBatch(std::span<const std::uint8_t> batch) {
  std::vector<HexRecord> records;
  std::size_t offset = 0;
  while (offset < batch.size()) {
    std::size_t used = 0;
    auto record = DecodeRawRecord(batch.subspan(offset), &used);
    if (!record) return {};
    records.push_back(std::move(*record));
    offset += used;
  }
  if (records.empty()) return {};
  return records;
}

std::optional<std::vector<std::uint8_t>> HexLineBytes(const std::string& line) {
  if (line.empty() || line[0] != ':' || (line.size() - 1) % 2 != 0) return {};
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
    const int high = HexDigitValue(line[i]);
    const int low = HexDigitValue(line[i + 1]);
    if (high < 0 || low < 0) return {};
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::optional<DecodedImage> DecodeIntelHex(const std::string& text) {
  SparseMemory memory;
  std::uint32_t upper = 0;
  std::size_t start = 0;
  bool ended = false;
  while (start < text.size() && !ended) {
    std::size_t stop = text.find('\n', start);
    if (stop == std::string::npos) stop = text.size();
    std::string line = text.substr(start, stop - start);
    start = stop + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.pop_back();
    }
    if (line.empty()) continue;
    const auto bytes = HexLineBytes(line);
    if (!bytes) return {};
    std::size_t used = 0;
    const auto record = DecodeRawRecord(*bytes, &used);
    if (!record || used != bytes->size()) return {};
    switch (record->type) {
      case HexRecordType::Data: {
        const std::uint64_t address = (std::uint64_t{upper} << 16) + record->offset;
        if (!memory.CanWrite(address, record->data)) return {};
        memory.Write(static_cast<std::uint32_t>(address), record->data);
        break;
      }
      case HexRecordType::ExtendedLinearAddress:
        upper = static_cast<std::uint32_t>(record->data[0] << 8 | record->data[1]);
        break;
      case HexRecordType::EndOfFile:
        ended = true;
        break;
      case HexRecordType::StartLinearAddress:
        break;
    }
  }
  DecodedImage image;
  image.base = memory.Lowest();
  image.bytes = memory.Read(memory.Lowest(), memory.End());
  return image;
}

}  // namespace tessaline::sim
