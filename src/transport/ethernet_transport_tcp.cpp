// The TCP transport to the unit's text command port.
#include "transport/ethernet_transport_tcp.h"

namespace tessaline {

EthernetTransportTCP::EthernetTransportTCP(std::uint32_t addressNetworkOrder, std::uint32_t port)
    : SocketTransport(addressNetworkOrder), port_(port == 0 ? kDefaultParserPort : port) {}

bool EthernetTransportTCP::Open() {
  socketFailure_ = CreateSocket(socket_, platform::Socket::Type::Tcp, kTcpReadWaitMs);
  if (socketFailure_) return false;
  // Closing must not wait for unsent data: the unit is told nothing more once we are done. The
  // user has always been told of this one in the receive time-out's words.
  if (!socket_.SetLingerOff()) {
    socketFailure_ = FailedSocketCall(IDS_RECEIVE_TIMEOUT_FAILED);
    socket_.Close();
    return false;
  }
  // A unit that is off or has no text port is normal during a search: no failure to tell.
  if (socket_.Connect(address_, Port(), kTcpConnectWaitMs)) return true;
  socket_.Close();
  return false;
}

bool EthernetTransportTCP::Write(const std::uint8_t* bytes, std::uint32_t count) {
  return socket_.Send(bytes, count) >= 0;
}

std::uint32_t EthernetTransportTCP::Read(std::uint8_t* buffer, std::uint32_t capacity) {
  const std::int32_t got = socket_.Receive(buffer, capacity);
  // The peer closed: nothing more can come, and IsOpen now says so.
  if (got == 0 && capacity > 0) socket_.Close();
  return got > 0 ? static_cast<std::uint32_t>(got) : 0;
}

}  // namespace tessaline
