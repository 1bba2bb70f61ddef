// IPv4 address and byte-order helpers that need no socket header.
#include <bit>
#include <cstring>

#include "platform/sockets.h"

namespace tessaline::platform {

std::uint32_t Ipv4FromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  const std::uint8_t octets[4] = {a, b, c, d};
  std::uint32_t value = 0;
  std::memcpy(&value, octets, sizeof value);
  return value;
}

std::uint32_t NetworkToHost32(std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) return value;
  return ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) |
         ((value & 0x00FF0000u) >> 8) | ((value & 0xFF000000u) >> 24);
}

std::uint32_t HostToNetwork32(std::uint32_t value) { return NetworkToHost32(value); }

}  // namespace tessaline::platform
