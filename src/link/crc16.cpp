// CRC-16/XMODEM computed a nibble at a time from a 16-entry table.
#include "link/crc16.h"

#include <array>

namespace tessaline {

namespace {

// Entry i is what the nibble value i contributes to the CRC.
constexpr std::array<std::uint16_t, 16> kNibbleTable = {
    0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50A5, 0x60C6, 0x70E7,
    0x8108, 0x9129, 0xA14A, 0xB16B, 0xC18C, 0xD1AD, 0xE1CE, 0xF1EF};

std::uint16_t FoldNibble(std::uint16_t crc, unsigned nibble) {
  return static_cast<std::uint16_t>(kNibbleTable[((crc >> 12) ^ nibble) & 0x0Fu] ^ (crc << 4));
}

}  // namespace

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < count; ++i) {
    crc = FoldNibble(crc, static_cast<unsigned>(bytes[i] >> 4));
    crc = FoldNibble(crc, bytes[i]);
  }
  return crc;
}

}  // namespace tessaline
