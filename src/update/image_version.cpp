// Finding the application's version word among the records of its image.
#include "update/image_version.h"

#include <array>

namespace tessaline {

namespace {
constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kExtendedSegmentAddress = 0x02;
constexpr std::uint8_t kExtendedLinearAddress = 0x04;
constexpr std::size_t kDataOffset = 4;  // count, two address bytes, type
}  // namespace

std::optional<std::uint32_t> ApplicationVersionInImage(CHexManager& image) {
  std::array<std::optional<std::uint8_t>, 4> word;
  std::uint32_t base = 0;
  std::uint8_t record[kMaxHexRecordBytes];
  image.RewindRecords();
  for (std::uint16_t length; (length = image.NextRecord(record, sizeof record)) != 0;) {
    const std::uint8_t count = record[0];
    if (length < kHexRecordOverheadBytes + count) continue;
    const std::uint8_t* data = record + kDataOffset;
    switch (record[3]) {
      case kExtendedLinearAddress:
        if (count == 2) base = static_cast<std::uint32_t>(data[0] << 8 | data[1]) << 16;
        break;
      case kExtendedSegmentAddress:
        if (count == 2) base = static_cast<std::uint32_t>(data[0] << 8 | data[1]) << 4;
        break;
      case kDataRecord: {
        const std::uint32_t start = base + static_cast<std::uint32_t>(record[1] << 8 | record[2]);
        for (std::uint32_t i = 0; i < count; ++i) {
          const std::uint32_t at = start + i;
          if (at >= kApplicationVersionWordAddress && at < kApplicationVersionWordAddress + 4) {
            word[at - kApplicationVersionWordAddress] = data[i];
          }
        }
        break;
      }
      default:
        break;
    }
  }
  image.RewindRecords();
  std::uint32_t version = 0;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (!word[i]) return std::nullopt;
    version |= std::uint32_t{*word[i]} << (8 * i);
  }
  return version;
}

}  // namespace tessaline
