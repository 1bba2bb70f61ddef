// CRC-16/XMODEM computed a byte at a time from a 256-entry table.
#include "link/crc16.h"

#include <array>

namespace tessaline {

namespace {

constexpr std::uint16_t kPolynomial = 0x1021;

// Entry i is what the byte value i, entering the CRC's high byte, contributes to it. Every frame
// is checked both ways, so the CRC is on the path of each exchange.
constexpr std::array<std::uint16_t, 256> MakeByteTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned value = 0; value < table.size(); ++value) {
    auto crc = static_cast<std::uint16_t>(value << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000u) != 0 ? (crc << 1) ^ kPolynomial : crc << 1);
    }
    table[value] = crc;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kByteTable = MakeByteTable();
static_assert(kByteTable[1] == 0x1021 && kByteTable[255] == 0x1EF0);

}  // namespace

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < count; ++i) {
    crc = static_cast<std::uint16_t>(kByteTable[((crc >> 8) ^ bytes[i]) & 0xFFu] ^ (crc << 8));
  }
  return crc;
}

}  // namespace tessaline
