// CRC-16/XMODEM of the bootloader packets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaline {

// Polynomial 0x1021, initial 0, no reflection, no final XOR; computed a nibble at a time.
std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count);

}  // namespace tessaline
