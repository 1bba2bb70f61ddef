// tessaline-update discover: lists the units that answer on the network or on the serial ports.
#include <chrono>
#include <cstdio>
#include <set>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "discovery/discovery_thread.h"
#include "shell/message_target.h"
#include "shell/messages.h"
#include "transport/com_port_table.h"

namespace tessaline::cli {

namespace {

constexpr std::uint32_t kDefaultDiscoverSeconds = 5;
constexpr std::uint32_t kMaxDiscoverSeconds = 3600;
constexpr std::uint32_t kPollMs = 100;

std::string DottedAddress(std::uint32_t addressNetworkOrder) {
  const auto* octets = reinterpret_cast<const std::uint8_t*>(&addressNetworkOrder);
  return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
         std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

const char* ModeWord(bool inBootload) { return inBootload ? "bootload" : "application"; }

void ReportNetworkUnit(Output& output, const WorkerMessage& message) {
  const auto flags = static_cast<std::uint16_t>(message.wParam);
  const std::string address = DottedAddress(static_cast<std::uint32_t>(message.lParam));
  const bool otherSubnet = (flags & kUnitOnOtherSubnet) != 0;
  const bool linkLocal = (flags & kUnitLinkLocal) != 0;
  if (output.Mode() == OutputMode::Json) {
    output.Event(JsonEvent("unit")
                     .Add("address", address)
                     .Add("mode", ModeWord((flags & kUnitInBootload) != 0))
                     .Add("other_subnet", otherSubnet)
                     .Add("link_local", linkLocal));
    return;
  }
  std::string text = address + "  " + ModeWord((flags & kUnitInBootload) != 0);
  if (otherSubnet) text += "  other-subnet";
  if (linkLocal) text += "  link-local";
  output.Line(text);
}

void ReportSerialUnit(Output& output, const WorkerMessage& message) {
  const auto index = static_cast<std::uint32_t>(message.lParam);
  const std::string device = ComPortTable().Entry(index);
  const bool inBootload = (message.wParam & 1u) != 0;
  if (output.Mode() == OutputMode::Json) {
    output.Event(JsonEvent("unit")
                     .Add("port", PortLabel(device))
                     .Add("device", device)
                     .Add("index", static_cast<std::uint64_t>(index))
                     .Add("mode", ModeWord(inBootload)));
    return;
  }
  output.Line(PortLabel(device) + "  " + ModeWord(inBootload));
}

}  // namespace

int RunDiscoverCommand(const CommandLine& line, Output& output) {
  std::string error;
  std::uint32_t seconds = kDefaultDiscoverSeconds;
  if (line.Has("seconds")) {
    const auto value = line.Number("seconds", 1, kMaxDiscoverSeconds, error);
    if (!value) {
      output.Error("discover: " + error);
      return kExitUsage;
    }
    seconds = *value;
  }
  const bool serial = line.Has("serial");
  if (serial) ComPortTable().ScanComPorts();

  auto target = std::make_shared<QueueMessageTarget>();
  DiscoveryThread discovery;
  discovery.StartDiscovery(target, serial ? DiscoverMode::Serial : DiscoverMode::Network);

  // Like the Discover dialog, each unit is listed once, as first reported.
  std::set<std::uint64_t> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    auto message = target->Next(kPollMs);
    if (!message) continue;
    if (message->code != WM_APP_NET_UNIT_FOUND && message->code != WM_APP_COM_UNIT_FOUND) continue;
    if (!seen.insert(message->lParam).second) continue;
    if (serial) {
      ReportSerialUnit(output, *message);
    } else {
      ReportNetworkUnit(output, *message);
    }
  }
  target->Close();
  discovery.StopDiscovery();

  if (seen.empty()) {
    output.Result("not-found", "No unit answered.", kExitNotFound);
    return kExitNotFound;
  }
  const std::string summary = std::to_string(seen.size()) + (seen.size() == 1 ? " unit" : " units");
  output.Result("found", summary + " found.", kExitSuccess);
  return kExitSuccess;
}

}  // namespace tessaline::cli
