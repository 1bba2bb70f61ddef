// Serial discovery: com_discover_thread, the per-port probes and SplitReplyLines.
#include "discovery/serial_discovery.h"

#include "discovery/text_protocol.h"
#include "link/bootloader_commands.h"
#include "link/bootloader_link.h"
#include "platform/threading.h"
#include "transport/com_port_table.h"
#include "transport/com_transport.h"

namespace tessaline {

namespace {

// Short form of a reply: command byte, data, two CRC bytes.
constexpr std::uint16_t kReplyOverhead = 3;

bool ProbeBootloader(DiscoveryListener& listener, const UnitAddress& unit,
                     std::size_t identityLength, platform::Clock& clock) {
  BootloaderLink link(clock);
  link.SetTransport(unit.MakeBootloaderTransport());
  link.OpenTransport();  // an unopened port makes the exchange fail at once
  bool found = false;
  if (link.Exchange(IdentityTextCommand, nullptr, 0, kIdentityProbeSends,
                    kIdentityProbeTimeoutMs) &&
      link.GetReplyLength() >= kReplyOverhead) {
    const std::string_view text(reinterpret_cast<const char*>(link.GetReply() + 1),
                                link.GetReplyLength() - kReplyOverhead);
    if (IsBootloaderIdentityText(text, identityLength)) {
      found = true;
      listener.SerialUnitFound(unit, true);
    }
  }
  link.CloseTransport();
  return found;
}

}  // namespace

ReplyLines SplitReplyLines(std::string_view text) {
  ReplyLines result;
  std::size_t end = text.find('\r');
  result.lines[0] = text.substr(0, end);
  if (end == std::string_view::npos) return result;

  // The byte after each CR is the LF of the pair and is skipped unseen.
  std::size_t start = end + 2;
  if (start > text.size()) start = text.size();
  end = text.find('\r', start);
  if (end == std::string_view::npos) return result;
  result.lines[1] = text.substr(start, end - start);

  start = end + 2;
  if (start > text.size()) start = text.size();
  end = text.find('\r', start);
  result.lines[2] = text.substr(start, end == std::string_view::npos ? end : end - start);
  return result;
}

bool IsBootloaderIdentityText(std::string_view text, std::size_t identityLength) {
  const auto third = SplitReplyLines(text).lines[2];
  return third && third->size() >= identityLength &&
         third->substr(identityLength) == kBootloadLineSuffix;
}

bool ProbeSerialPort(DiscoveryListener& listener, const std::string& deviceName,
                     std::size_t identityLength, const SerialDiscoveryOptions& options) {
  platform::Clock& clock = options.linkClock ? *options.linkClock : platform::SystemClock();
  const UnitAddress unit = UnitAddress::Serial(deviceName);
  if (ProbeBootloader(listener, unit, identityLength, clock)) return true;

  return SerialTextPortSearch(deviceName, kSerialTextProbeTimeoutMs,
                              [&](Transport& /*textTransport*/, const std::string& reply) {
                                listener.SerialUnitFound(
                                    unit, BootloadStateLetter(reply) == kBootloadEnabledLetter);
                              })
      .answered;
}

void com_discover_thread(DiscoveryListener& listener, const std::atomic<bool>& stop,
                         std::size_t identityLength, const SerialDiscoveryOptions& options) {
  platform::ThreadNameHook("com_discover_thread");
  while (!stop.load()) {
    const std::vector<std::string> ports = ComPortTable().Entries();
    for (const std::string& deviceName : ports) {
      if (stop.load()) break;
      ProbeSerialPort(listener, deviceName, identityLength, options);
    }
    // Without ports a pass ends at once; pause instead of spinning.
    if (ports.empty() && !stop.load()) platform::SleepMs(options.emptyTablePauseMs);
  }
}

}  // namespace tessaline
