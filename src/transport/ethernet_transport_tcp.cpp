// The TCP transport to the unit's text command port.
#include "transport/ethernet_transport_tcp.h"

#include "transport/socket_error.h"

namespace tessaline {

EthernetTransportTCP::EthernetTransportTCP(std::uint32_t addressNetworkOrder, std::uint32_t port)
    : address_(addressNetworkOrder), port_(port == 0 ? kDefaultParserPort : port) {}

EthernetTransportTCP::~EthernetTransportTCP() = default;

bool EthernetTransportTCP::Open() {
  if (!socket_.Create(platform::Socket::Type::Tcp)) {
    ShowSocketError(IDS_SOCKET_CREATION_FAILED);
    return false;
  }
  if (!socket_.SetReceiveTimeout(kTcpReadWaitMs)) {
    ShowSocketError(IDS_RECEIVE_TIMEOUT_FAILED);
    return false;
  }
  // Closing must not wait for unsent data: the unit is told nothing more once we are done.
  if (!socket_.SetLingerOff()) {
    ShowSocketError(IDS_RECEIVE_TIMEOUT_FAILED);
    return false;
  }
  // A unit that is off or has no text port is normal during a search: no message.
  return socket_.Connect(address_, Port());
}

bool EthernetTransportTCP::IsOpen() const { return socket_.IsValid(); }

bool EthernetTransportTCP::Close() {
  socket_.Close();
  return true;
}

bool EthernetTransportTCP::Write(const std::uint8_t* bytes, std::uint32_t count) {
  return socket_.Send(bytes, count) >= 0;
}

std::uint32_t EthernetTransportTCP::Read(std::uint8_t* buffer, std::uint32_t capacity) {
  const std::int32_t got = socket_.Receive(buffer, capacity);
  return got > 0 ? static_cast<std::uint32_t>(got) : 0;
}

}  // namespace tessaline
