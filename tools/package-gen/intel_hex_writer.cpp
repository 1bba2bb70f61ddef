// Formatting Intel HEX records with CR LF line ends and their checksums.
#include "intel_hex_writer.h"

#include <array>

namespace tessaline::packagegen {
namespace {

constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kEndOfFileRecord = 0x01;
constexpr std::uint8_t kExtendedLinearAddressRecord = 0x04;
constexpr std::uint8_t kStartLinearAddressRecord = 0x05;

void AppendByte(std::string& text, std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  text.push_back(kDigits[value >> 4]);
  text.push_back(kDigits[value & 0x0F]);
}

std::uint8_t High(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }
std::uint8_t Low(std::uint16_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

std::array<std::uint8_t, 4> BigEndian(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace

void IntelHexWriter::Record(std::uint8_t type, std::uint16_t address,
                            std::span<const std::uint8_t> data) {
  const auto count = static_cast<std::uint8_t>(data.size());
  unsigned sum = count + High(address) + Low(address) + type;
  text_.push_back(':');
  AppendByte(text_, count);
  AppendByte(text_, High(address));
  AppendByte(text_, Low(address));
  AppendByte(text_, type);
  for (const std::uint8_t byte : data) {
    AppendByte(text_, byte);
    sum += byte;
  }
  AppendByte(text_, static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
  text_ += "\r\n";
  ++records_;
}

void IntelHexWriter::Data(std::uint32_t address, std::span<const std::uint8_t> data) {
  const auto upper = static_cast<std::uint16_t>(address >> 16);
  if (upperAddress_ != upper) {
    const std::array<std::uint8_t, 2> bytes{High(upper), Low(upper)};
    Record(kExtendedLinearAddressRecord, 0, bytes);
    upperAddress_ = upper;
  }
  Record(kDataRecord, static_cast<std::uint16_t>(address & 0xFFFF), data);
}

void IntelHexWriter::StartLinearAddress(std::uint32_t address) {
  Record(kStartLinearAddressRecord, 0, BigEndian(address));
}

void IntelHexWriter::EndOfFile() { Record(kEndOfFileRecord, 0, {}); }

}  // namespace tessaline::packagegen
