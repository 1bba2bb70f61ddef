// The bootloader's UDP port.
#include "udp_bootloader_port.h"

#include <sys/socket.h>

#include <vector>

#include "link/packet_codec.h"

namespace tessaline::sim {
namespace {

constexpr std::size_t kDatagramCapacity = 65536;

}  // namespace

bool UdpBootloaderPort::Open(std::string* error) {
  socket_ = BindUdp(address_, kBootloaderUdpPort, false, error);
  return socket_.Valid();
}

void UdpBootloaderPort::WakeForStop() {
  // Ends a blocked receive at once (it then returns no bytes); the socket stays open until the
  // port is destroyed.
  if (socket_.Valid()) ::shutdown(socket_.Get(), SHUT_RDWR);
}

void UdpBootloaderPort::Run() {
  std::vector<std::uint8_t> buffer(kDatagramCapacity);
  // A plain blocking receive: each request costs one call to wait and read, where a wait for the
  // stop signal beside it would cost another. Stop wakes it through WakeForStop.
  for (;;) {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received = ::recvfrom(socket_.Get(), buffer.data(), buffer.size(), 0,
                                        reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received <= 0) {
      if (stop_.Raised()) return;
      continue;
    }
    // Each datagram is decoded on its own: a partial frame never spills into the next one.
    FrameDecoder decoder;
    decoder.Feed(buffer.data(), static_cast<std::size_t>(received));
    if (!decoder.Complete()) continue;
    const std::vector<std::uint8_t> packet = decoder.Take();
    const Outgoing out = core_.HandleBootloaderPacket(packet);
    if (out.frames.empty()) continue;
    if (out.waitMs != 0 && !SleepUnlessStopped(stop_, out.waitMs)) return;
    for (const auto& frame : out.frames) {
      ::sendto(socket_.Get(), frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&from),
               fromLength);
    }
  }
}

}  // namespace tessaline::sim
