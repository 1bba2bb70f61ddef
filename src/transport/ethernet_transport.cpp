// The UDP transport: one datagram per packet to the unit's bootloader port.
#include "transport/ethernet_transport.h"

#include "platform/clock.h"

namespace tessaline {

bool EthernetTransport::Open() {
  // Not bound: the first send picks the local port, and the unit answers to it.
  socketFailure_ = CreateSocket(socket_, platform::Socket::Type::Udp, kUdpReadWaitMs);
  return !socketFailure_;
}

bool EthernetTransport::Write(const std::uint8_t* bytes, std::uint32_t count) {
  // A lost send is recovered by the link's resend schedule.
  socket_.SendTo(address_, kBootloaderUdpPort, bytes, count);
  return true;
}

std::uint32_t EthernetTransport::Read(std::uint8_t* buffer, std::uint32_t capacity) {
  const std::uint32_t start = platform::TickCount();
  bool shortened = false;
  std::uint32_t count = 0;
  for (;;) {
    platform::Ipv4Endpoint sender;
    const std::int32_t got = socket_.ReceiveFrom(buffer, capacity, &sender);
    if (got >= 0 && sender.address == address_) {
      count = static_cast<std::uint32_t>(got);
      break;
    }
    if (got < 0) break;
    // Another host's datagram: drop it and wait out the rest of this read's time only.
    const std::uint32_t elapsed = platform::TicksBetween(start, platform::TickCount());
    if (elapsed >= kUdpReadWaitMs) break;
    socket_.SetReceiveTimeout(kUdpReadWaitMs - elapsed);
    shortened = true;
  }
  if (shortened) socket_.SetReceiveTimeout(kUdpReadWaitMs);
  return count;
}

}  // namespace tessaline
