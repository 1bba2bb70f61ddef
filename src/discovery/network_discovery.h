// Network discovery: the broadcast request, classification of replies, and the address check.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/discovery_listener.h"
#include "platform/network_interfaces.h"

namespace tessaline {

inline constexpr std::uint16_t kDiscoveryPort = 30303;
inline constexpr std::string_view kDiscoveryRequestText = "Discovery: Who is out there ?";
inline constexpr std::string_view kMakerShortName = "Brume ";
inline constexpr std::string_view kBootloadAnnounceSuffix = " - Bootload\r\n";
inline constexpr std::uint32_t kDiscoveryReplyCapacity = 256;  // bytes read per datagram
inline constexpr std::uint32_t kDiscoveryReceiveTimeoutMs = 1000;
inline constexpr std::uint32_t kDiscoveryReceivesPerCycle = 10;
inline constexpr std::uint32_t kDiscoveryCycleSleepMs = 1000;

using InterfaceTable = std::vector<platform::LocalInterface>;
using InterfaceReader = std::function<std::optional<InterfaceTable>()>;

// What a unit of the package's model starts its reply's third line with: "Brume " followed by
// the package's "announce-model" unit text.
std::string AnnounceIdentity(std::string_view announceModel);

// Whether discovery sends its request to this row's directed broadcast address: every row but
// 127.0.0.1, so units on a loopback alias (127.0.20.1/24) are found as on any network.
bool CarriesDiscovery(const platform::LocalInterface& row);

// One directed broadcast address per row of the table, 127.0.0.1 skipped, in table order.
std::vector<std::uint32_t> DiscoveryBroadcastTargets(
    std::span<const platform::LocalInterface> table);

// kUnitOnOtherSubnet unless a row (127.0.0.1 skipped) shares the address's subnet, plus
// kUnitLinkLocal for 169.254.x.y with 1 < x*256+y < 0xFFFE.
std::uint16_t UnitAddressFlags(std::uint32_t address,
                               std::span<const platform::LocalInterface> table);

// The flags to report for one discovery datagram from `source`, or nothing when it must be
// ignored (fewer than two CR LF line ends, or a third line not starting with `identity`).
std::optional<std::uint16_t> ClassifyDiscoveryReply(std::span<const std::uint8_t> datagram,
                                                    std::uint32_t source,
                                                    std::span<const platform::LocalInterface> table,
                                                    std::string_view identity);

// False for 127.0.0.1 and for the directed broadcast address of any local interface; true
// otherwise, also when the table could not be read (nullopt).
bool IsUsableUnitAddress(std::uint32_t address, const std::optional<InterfaceTable>& table);
// Same, with the system's own interface table.
bool IsUsableUnitAddress(std::uint32_t address);

struct NetworkDiscoveryOptions {
  InterfaceReader readInterfaces = platform::ReadLocalInterfaces;
};

// Thread body of ip_discover_thread: sends the request on every local interface, reports every
// reply that carries `identity` (AnnounceIdentity), or the socket that could not be set up, to
// `listener`, and cycles until `stop`.
void ip_discover_thread(DiscoveryListener& listener, const std::atomic<bool>& stop,
                        std::string_view identity, const NetworkDiscoveryOptions& options = {});

}  // namespace tessaline
