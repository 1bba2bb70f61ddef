// tessaline-update discover: lists the units that answer on the network or on the serial ports.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/package_choice.h"
#include "discovery/discovery_thread.h"
#include "platform/serial_adapters.h"
#include "transport/com_port_table.h"
#include "transport/unit_address.h"

namespace tessaline::cli {

namespace {

constexpr std::uint32_t kDefaultDiscoverSeconds = 5;
constexpr std::uint32_t kMaxDiscoverSeconds = 3600;

const char* ModeWord(bool inBootload) { return inBootload ? "bootload" : "application"; }

void ReportNetworkUnit(Output& output, std::uint32_t addressNetworkOrder, std::uint16_t flags) {
  const std::string address = DottedIpv4(addressNetworkOrder);
  const bool otherSubnet = (flags & kUnitOnOtherSubnet) != 0;
  const bool linkLocal = (flags & kUnitLinkLocal) != 0;
  if (output.Mode() == OutputMode::Json) {
    output.Event({{"event", "unit"},
                  {"address", address},
                  {"mode", ModeWord((flags & kUnitInBootload) != 0)},
                  {"other_subnet", otherSubnet},
                  {"link_local", linkLocal}});
    return;
  }
  std::string text = address + "  " + ModeWord((flags & kUnitInBootload) != 0);
  if (otherSubnet) text += "  other-subnet";
  if (linkLocal) text += "  link-local";
  output.Line(text);
}

void ReportSerialUnit(Output& output, const UnitAddress& unit, bool inBootload) {
  const std::string& device = unit.Device();
  if (output.Mode() == OutputMode::Json) {
    // The port's place in the table this command scanned once, as the JSON has always given it.
    const std::vector<std::string> ports = ComPortTable().Entries();
    const auto index =
        static_cast<std::size_t>(std::find(ports.begin(), ports.end(), device) - ports.begin());
    output.Event({{"event", "unit"},
                  {"port", PortLabel(device)},
                  {"device", device},
                  {"stable_name", platform::StableSerialName(device)},
                  {"index", index},
                  {"mode", ModeWord(inBootload)}});
    return;
  }
  output.Line(StablePortLabel(device) + "  " + ModeWord(inBootload));
}

// Lists each unit once, as first reported (like the Discover dialog), until closed.
class DiscoveredUnits final : public DiscoveryListener {
 public:
  explicit DiscoveredUnits(Output& output) : output_(output) {}
  void NetworkUnitFound(std::uint32_t addressNetworkOrder, std::uint16_t flags) override {
    std::lock_guard lock(mutex_);
    if (!closed_ && seen_.insert(UnitAddress::Network(addressNetworkOrder).Canonical()).second) {
      ReportNetworkUnit(output_, addressNetworkOrder, flags);
    }
  }
  void SerialUnitFound(const UnitAddress& unit, bool inBootload) override {
    std::lock_guard lock(mutex_);
    if (!closed_ && seen_.insert(unit.Canonical()).second)
      ReportSerialUnit(output_, unit, inBootload);
  }
  void NetworkSearchFailed(const SocketFailure& failure) override {
    std::lock_guard lock(mutex_);
    if (!closed_) ReportSocketFailure(output_, failure);
  }
  // No more lines after this; the count of units listed.
  std::size_t Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    return seen_.size();
  }

 private:
  Output& output_;
  std::mutex mutex_;
  std::set<std::string> seen_;  // canonical forms
  bool closed_ = false;
};

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

  auto units = std::make_shared<DiscoveredUnits>(output);
  DiscoveryThread discovery(DiscoveryIdentity(*EmbeddedPackage()));
  discovery.StartDiscovery(units, serial ? DiscoverMode::Serial : DiscoverMode::Network);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const std::size_t found = units->Close();
  discovery.StopDiscovery();

  if (found == 0) {
    output.Result("not-found", "No unit answered.", kExitNotFound);
    return kExitNotFound;
  }
  const std::string summary = std::to_string(found) + (found == 1 ? " unit" : " units");
  output.Result("found", summary + " found.", kExitSuccess);
  return kExitSuccess;
}

}  // namespace tessaline::cli
