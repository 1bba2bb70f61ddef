// Answers the discovery request on UDP 30303.
#include "discovery_responder.h"

#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tessaline::sim {
namespace {

constexpr std::size_t kDatagramCapacity = 2048;
constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFF;

}  // namespace

bool DiscoveryResponder::Open(std::string* error) {
  const auto address = ParseIpv4(core_.Config().discoveryAddress);
  if (!address) {
    *error = "bad discovery address " + core_.Config().discoveryAddress;
    return false;
  }
  address_ = *address;
  wildcard_ = BindUdp(in_addr{htonl(INADDR_ANY)}, kDiscoveryPort, true, error);
  if (!wildcard_.Valid()) return false;
  const int on = 1;
  ::setsockopt(wildcard_.Get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
  own_ = BindUdp(address_, kDiscoveryPort, true, error);
  if (!own_.Valid()) return false;

  broadcasts_.push_back(kLimitedBroadcast);
  ifaddrs* interfaces = nullptr;
  if (::getifaddrs(&interfaces) == 0) {
    for (const ifaddrs* row = interfaces; row != nullptr; row = row->ifa_next) {
      if (row->ifa_addr == nullptr || row->ifa_netmask == nullptr ||
          row->ifa_addr->sa_family != AF_INET) {
        continue;
      }
      const std::uint32_t local =
          reinterpret_cast<const sockaddr_in*>(row->ifa_addr)->sin_addr.s_addr;
      const std::uint32_t mask =
          reinterpret_cast<const sockaddr_in*>(row->ifa_netmask)->sin_addr.s_addr;
      if ((local & mask) == (address_.s_addr & mask)) broadcasts_.push_back((local & mask) | ~mask);
    }
    ::freeifaddrs(interfaces);
  }
  return true;
}

bool DiscoveryResponder::AddressedToUnit(in_addr destination) const {
  return destination.s_addr == address_.s_addr ||
         std::find(broadcasts_.begin(), broadcasts_.end(), destination.s_addr) != broadcasts_.end();
}

void DiscoveryResponder::Answer(int fd, bool checkDestination) {
  std::uint8_t buffer[kDatagramCapacity];
  alignas(cmsghdr) std::uint8_t control[256];
  sockaddr_in from{};
  iovec part{buffer, sizeof buffer};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t received = ::recvmsg(fd, &message, MSG_DONTWAIT);
  if (received <= 0) return;
  if (checkDestination) {
    bool addressed = false;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
      if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
        in_pktinfo info{};
        std::memcpy(&info, CMSG_DATA(header), sizeof info);
        addressed = AddressedToUnit(info.ipi_addr);
      }
    }
    if (!addressed) return;
  }
  const auto reply = core_.HandleDiscovery(
      std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(received)));
  if (!reply) return;
  ::sendto(own_.Get(), reply->data(), reply->size(), 0, reinterpret_cast<sockaddr*>(&from),
           sizeof from);
}

void DiscoveryResponder::Run() {
  for (;;) {
    pollfd entries[3] = {
        {stop_.WaitFd(), POLLIN, 0}, {wildcard_.Get(), POLLIN, 0}, {own_.Get(), POLLIN, 0}};
    if (::poll(entries, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (entries[0].revents != 0) return;
    if (entries[1].revents != 0) Answer(wildcard_.Get(), true);
    if (entries[2].revents != 0) Answer(own_.Get(), false);
  }
}

}  // namespace tessaline::sim
