// The UDP transport that carries the bootloader protocol to port 6234 of a unit.
#pragma once

#include <cstdint>

#include "transport/transport.h"

namespace tessaline {

inline constexpr std::uint16_t kBootloaderUdpPort = 6234;
inline constexpr std::uint32_t kUdpReadWaitMs = 10;

class EthernetTransport final : public SocketTransport {
 public:
  using SocketTransport::SocketTransport;

  bool Open() override;
  // One datagram to port 6234 of the unit per call; always true.
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
  // One datagram from the unit's own address (any source port); others are dropped.
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override;
  std::string_view GetKind() const override { return kKindIp; }
};

}  // namespace tessaline
