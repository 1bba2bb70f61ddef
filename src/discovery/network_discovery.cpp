// Network discovery: ip_discover_thread, the reply classifier and IsUsableUnitAddress.
#include "discovery/network_discovery.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/clock.h"
#include "platform/sockets.h"
#include "platform/threading.h"
#include "transport/socket_error.h"

namespace tessaline {

namespace {

// Network-order addresses keep their octets in memory order a.b.c.d.
std::array<std::uint8_t, 4> Octets(std::uint32_t addressNetworkOrder) {
  std::array<std::uint8_t, 4> octets{};
  std::memcpy(octets.data(), &addressNetworkOrder, octets.size());
  return octets;
}

bool IsLoopbackHost(std::uint32_t addressNetworkOrder) {
  const auto octets = Octets(addressNetworkOrder);
  return octets == std::array<std::uint8_t, 4>{127, 0, 0, 1};
}

// 169.254.0.1 and the top two addresses of the block are not handed out as link-local.
constexpr std::uint32_t kLinkLocalLowestHost = 1;
constexpr std::uint32_t kLinkLocalHighestHost = 0xFFFE;
constexpr std::uint32_t kSliceMs = 50;

bool IsLinkLocal(std::uint32_t addressNetworkOrder) {
  const auto octets = Octets(addressNetworkOrder);
  if (octets[0] != 169 || octets[1] != 254) return false;
  const std::uint32_t host = static_cast<std::uint32_t>(octets[2]) * 256u + octets[3];
  return host > kLinkLocalLowestHost && host < kLinkLocalHighestHost;
}

// (address AND mask) OR (NOT mask), all in network byte order.
std::uint32_t DirectedBroadcast(const platform::LocalInterface& row) {
  return (row.address & row.mask) | ~row.mask;
}

// The stop flag is read every slice so a stop does not wait out the whole pause.
void PauseUnlessStopped(const std::atomic<bool>& stop, std::uint32_t milliseconds) {
  for (std::uint32_t slept = 0; slept < milliseconds && !stop.load(); slept += kSliceMs) {
    platform::SleepMs(kSliceMs);
  }
}

}  // namespace

std::string AnnounceIdentity(std::string_view announceModel) {
  return std::string(kMakerShortName) + std::string(announceModel);
}

bool CarriesDiscovery(const platform::LocalInterface& row) { return !IsLoopbackHost(row.address); }

std::vector<std::uint32_t> DiscoveryBroadcastTargets(
    std::span<const platform::LocalInterface> table) {
  std::vector<std::uint32_t> targets;
  for (const auto& row : table) {
    if (CarriesDiscovery(row)) targets.push_back(DirectedBroadcast(row));
  }
  return targets;
}

std::uint16_t UnitAddressFlags(std::uint32_t address,
                               std::span<const platform::LocalInterface> table) {
  const bool sameSubnet = std::any_of(table.begin(), table.end(), [&](const auto& row) {
    return !IsLoopbackHost(row.address) && (address & row.mask) == (row.address & row.mask);
  });
  std::uint16_t flags = sameSubnet ? 0 : kUnitOnOtherSubnet;
  if (IsLinkLocal(address)) flags |= kUnitLinkLocal;
  return flags;
}

std::optional<std::uint16_t> ClassifyDiscoveryReply(std::span<const std::uint8_t> datagram,
                                                    std::uint32_t source,
                                                    std::span<const platform::LocalInterface> table,
                                                    std::string_view identity) {
  const std::string_view text(reinterpret_cast<const char*>(datagram.data()), datagram.size());
  std::size_t position = 0;
  for (int lineEnd = 0; lineEnd < 2; ++lineEnd) {
    const std::size_t found = text.find("\r\n", position);
    if (found == std::string_view::npos) return std::nullopt;
    position = found + 2;
  }
  const std::string_view third = text.substr(position);
  if (!third.starts_with(identity)) return std::nullopt;

  std::uint16_t flags = UnitAddressFlags(source, table);
  if (third.substr(identity.size()).starts_with(kBootloadAnnounceSuffix)) flags |= kUnitInBootload;
  return flags;
}

bool IsUsableUnitAddress(std::uint32_t address, const std::optional<InterfaceTable>& table) {
  if (IsLoopbackHost(address)) return false;
  if (!table) return true;
  return std::none_of(table->begin(), table->end(), [&](const auto& row) {
    return !IsLoopbackHost(row.address) && address == DirectedBroadcast(row);
  });
}

bool IsUsableUnitAddress(std::uint32_t address) {
  if (IsLoopbackHost(address)) return false;  // no need to read the table
  return IsUsableUnitAddress(address, platform::ReadLocalInterfaces());
}

void ip_discover_thread(DiscoveryListener& listener, const std::atomic<bool>& stop,
                        std::string_view identity, const NetworkDiscoveryOptions& options) {
  platform::ThreadNameHook("ip_discover_thread");

  platform::Socket socket;
  auto failure = CreateSocket(socket, platform::Socket::Type::Udp, kDiscoveryReceiveTimeoutMs);
  if (!failure && !socket.SetBroadcast(true)) failure = FailedSocketCall(IDS_BROADCAST_FAILED);
  if (failure) {
    listener.NetworkSearchFailed(*failure);
    return;
  }
  const std::optional<InterfaceTable> table =
      options.readInterfaces ? options.readInterfaces() : std::nullopt;
  if (!table) return;
  const std::vector<std::uint32_t> targets = DiscoveryBroadcastTargets(*table);

  const auto* request = reinterpret_cast<const std::uint8_t*>(kDiscoveryRequestText.data());
  const auto requestLength = static_cast<std::uint32_t>(kDiscoveryRequestText.size());
  std::array<std::uint8_t, kDiscoveryReplyCapacity> buffer{};
  while (!stop.load()) {
    for (std::uint32_t target : targets) {
      socket.SendTo(target, kDiscoveryPort, request, requestLength, /*dontRoute=*/true);
    }
    for (std::uint32_t call = 0; call < kDiscoveryReceivesPerCycle && !stop.load(); ++call) {
      platform::Ipv4Endpoint from;
      const std::int32_t received =
          socket.ReceiveFrom(buffer.data(), kDiscoveryReplyCapacity, &from);
      if (received < 0) break;
      if (received == 0) continue;
      const auto flags =
          ClassifyDiscoveryReply(std::span(buffer.data(), static_cast<std::size_t>(received)),
                                 from.address, *table, identity);
      if (flags) listener.NetworkUnitFound(from.address, *flags);
    }
    if (!stop.load()) PauseUnlessStopped(stop, kDiscoveryCycleSleepMs);
  }
}

}  // namespace tessaline
