// Serial discovery: probing every port of the table as a bootloader, then as a running unit.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "discovery/discovery_listener.h"
#include "platform/clock.h"

namespace tessaline {

inline constexpr std::uint16_t kIdentityProbeSends = 5;
inline constexpr std::uint16_t kIdentityProbeTimeoutMs = 500;  // per send; x5 on a serial line
inline constexpr std::uint32_t kSerialTextProbeTimeoutMs = 250;
inline constexpr std::string_view kBootloadLineSuffix = " - Bootload";

// Up to three lines of an identity text split at CR LF; absent lines are nullopt.
struct ReplyLines {
  std::array<std::optional<std::string_view>, 3> lines;
};
ReplyLines SplitReplyLines(std::string_view text);

// True when the identity text's third line is `identityLength` characters followed by exactly
// " - Bootload".
bool IsBootloaderIdentityText(std::string_view text, std::size_t identityLength);

struct SerialDiscoveryOptions {
  // Clock of the bootloader probe's link (tests speed up a silent port's resend schedule).
  platform::Clock* linkClock = nullptr;
  // Pause between passes when the port table is empty.
  std::uint32_t emptyTablePauseMs = 250;
};

// Thread body of com_discover_thread: probes every port of ComPortTable, reports each that
// answered to `listener`, and starts over until `stop` is set. A bootloader's identity line holds
// `identityLength` characters (those of AnnounceIdentity) before " - Bootload".
void com_discover_thread(DiscoveryListener& listener, const std::atomic<bool>& stop,
                         std::size_t identityLength, const SerialDiscoveryOptions& options = {});

// One port's probes (bootloader, then text at each rate); at most one report. True when a unit
// answered.
bool ProbeSerialPort(DiscoveryListener& listener, const std::string& deviceName,
                     std::size_t identityLength, const SerialDiscoveryOptions& options = {});

}  // namespace tessaline
