// Lays out the sample images: pseudo-random content in the shape of a real build.
#include "sample_package.h"

#include <algorithm>
#include <array>
#include <span>

#include "intel_hex_writer.h"

namespace tessaline::packagegen {
namespace {

constexpr std::uint32_t kRecordBytes = 16;
constexpr std::uint32_t kShortRecordBytes = 8;
// The last 64 bytes of the application are written as 8-byte records, as the linker's tail
// section comes out; one 16-byte hole sits after the vector table.
constexpr std::uint32_t kShortRecordsBegin = kApplicationEnd + 1 - 8 * kShortRecordBytes;
constexpr std::uint32_t kHoleBegin = kApplicationBegin + 0x400;
constexpr std::uint32_t kInitialStackPointer = 0x20020000;
constexpr std::array<std::uint8_t, 4> kFlashDataMagic{0x54, 0x53, 0x46, 0x44};  // "TSFD"

// xorshift32: the same bytes on every host and every run.
class ByteSequence {
 public:
  explicit ByteSequence(std::uint32_t seed) : state_(seed) {}
  std::uint8_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<std::uint8_t>(state_ >> 24);
  }

 private:
  std::uint32_t state_;
};

void PutLittleEndian(std::span<std::uint8_t> out, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::string SampleApplicationHex() {
  ByteSequence sequence(0x7E55A11E);
  IntelHexWriter writer;
  std::array<std::uint8_t, kRecordBytes> record{};
  for (std::uint32_t address = kApplicationBegin; address <= kApplicationEnd;) {
    const std::uint32_t size = address >= kShortRecordsBegin ? kShortRecordBytes : kRecordBytes;
    if (address == kHoleBegin) {
      address += size;
      continue;
    }
    for (std::uint32_t i = 0; i < size; ++i) record[i] = sequence.Next();
    if (address == kApplicationBegin) {
      // The vector table opens with the stack pointer and the entry point.
      PutLittleEndian(std::span(record).first(4), kInitialStackPointer);
      PutLittleEndian(std::span(record).subspan(4, 4), kApplicationEntry);
    }
    writer.Data(address, std::span(record).first(size));
    address += size;
  }
  std::array<std::uint8_t, 4> version{};
  PutLittleEndian(version, static_cast<std::uint32_t>(kVersionMajor) << 16 | kVersionMinor);
  writer.Data(kVersionWordAddress, version);
  writer.StartLinearAddress(kApplicationEntry);
  writer.EndOfFile();
  return writer.Text();
}

std::vector<std::uint8_t> SampleFlashData() {
  ByteSequence sequence(0xF1A5DA7A);
  std::vector<std::uint8_t> image(kSampleFlashDataBytes);
  std::copy(kFlashDataMagic.begin(), kFlashDataMagic.end(), image.begin());
  for (std::size_t i = kFlashDataMagic.size(); i < image.size(); ++i) image[i] = sequence.Next();
  return image;
}

}  // namespace tessaline::packagegen
