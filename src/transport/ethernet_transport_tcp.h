// The TCP transport to a unit's text command port (the Parser Port).
#pragma once

#include <cstdint>

#include "transport/transport.h"

namespace tessaline {

inline constexpr std::uint16_t kDefaultParserPort = 4999;
inline constexpr std::uint32_t kTcpReadWaitMs = 100;
// A unit on the local network accepts within milliseconds; one that is off or resetting may drop
// the request, which would otherwise hold the caller (and a Ctrl+C) for minutes.
inline constexpr std::uint32_t kTcpConnectWaitMs = 1000;

class EthernetTransportTCP final : public SocketTransport {
 public:
  // Port 0 selects kDefaultParserPort.
  EthernetTransportTCP(std::uint32_t addressNetworkOrder, std::uint32_t port);

  bool Open() override;
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override;
  std::string_view GetKind() const override { return kKindTcp; }

  std::uint16_t Port() const { return static_cast<std::uint16_t>(port_ & 0xFFFFu); }

 private:
  std::uint32_t port_;
};

}  // namespace tessaline
