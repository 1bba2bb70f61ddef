// The doctor's checks: gathers the platform's facts and turns each obstacle into a problem.
#include "cli/doctor_checks.h"

#include <algorithm>

#include "discovery/network_discovery.h"
#include "platform/network_interfaces.h"
#include "platform/serial_port.h"
#include "platform/sockets.h"
#include "transport/com_port_table.h"
#include "transport/unit_address.h"

namespace tessaline::cli {

namespace {

constexpr std::uint8_t kLoopbackFirstOctet = 127;

std::uint8_t Octet(std::uint32_t addressNetworkOrder, int index) {
  return static_cast<std::uint8_t>(platform::NetworkToHost32(addressNetworkOrder) >>
                                   (24 - 8 * index));
}

bool IsLinkLocal(std::uint32_t address) {
  return Octet(address, 0) == 169 && Octet(address, 1) == 254;
}

std::vector<DoctorInterface> Flatten(const std::vector<platform::InterfaceDetails>& details) {
  std::vector<DoctorInterface> rows;
  for (const auto& entry : details) {
    DoctorInterface row;
    row.name = entry.name;
    row.up = entry.up;
    row.loopback = entry.loopback;
    if (entry.addresses.empty()) {
      rows.push_back(row);
      continue;
    }
    for (const auto& address : entry.addresses) {
      DoctorInterface withAddress = row;
      withAddress.hasAddress = true;
      withAddress.address = address.address;
      withAddress.mask = address.mask;
      withAddress.broadcast = (address.address & address.mask) | ~address.mask;
      withAddress.linkLocal = IsLinkLocal(address.address);
      withAddress.loopback = row.loopback || Octet(address.address, 0) == kLoopbackFirstOctet;
      // The rule discover sends by, so a loopback alias that carries units counts here too.
      withAddress.usable = row.up && address.address != 0 && CarriesDiscovery(address);
      rows.push_back(withAddress);
    }
  }
  return rows;
}

void CheckInterfaces(DoctorReport& report) {
  for (const auto& row : report.interfaces) {
    if (row.loopback) continue;  // a loopback address that is down or unused is no problem
    if (!row.up) {
      report.problems.push_back(
          {row.name, row.name + " is down or has no link.",
           "If units are on this network, connect its cable or enable the interface.", false});
    } else if (!row.hasAddress) {
      report.problems.push_back({row.name, row.name + " is up but has no IPv4 address.",
                                 "Give it an address on the units' subnet, or enable DHCP on it.",
                                 false});
    } else if (row.linkLocal) {
      report.problems.push_back(
          {row.name,
           row.name + " has only a link-local address (" + DottedIpv4(row.address) +
               "): no DHCP server answered on it.",
           "Units there are found only if they are link-local too; otherwise give this "
           "computer an address on the units' subnet.",
           false});
    }
  }
  const bool anyUsable = std::any_of(report.interfaces.begin(), report.interfaces.end(),
                                     [](const auto& row) { return row.usable; });
  if (!anyUsable) {
    report.problems.push_back(
        {"network", "No network interface is up with an IPv4 address: discovery reaches no unit.",
         "Connect this computer to the units' network and give it an IPv4 address (or enable "
         "DHCP).",
         true});
  }
}

void SendDiscoveryRequests(DoctorReport& report) {
  platform::Socket socket;
  report.socketCreated = socket.Create(platform::Socket::Type::Udp);
  if (!report.socketCreated) {
    report.problems.push_back({"UDP", "A UDP socket cannot be created.",
                               "Check that this user may use the network (a security policy or "
                               "sandbox may forbid it).",
                               true});
    return;
  }
  report.broadcastAllowed = socket.SetBroadcast(true);
  if (!report.broadcastAllowed) {
    report.problems.push_back({"UDP", "Broadcasts are refused on UDP sockets.",
                               "Allow this program to send UDP broadcasts in the security policy.",
                               true});
    return;
  }
  report.discoveryPortBound = socket.Bind(0, kDiscoveryPort);
  if (!report.discoveryPortBound) {
    report.problems.push_back(
        {"UDP port 30303", "UDP port 30303 is held by another program on this computer.",
         "Discovery still works; if units stay hidden, close the other updater or unit "
         "simulator.",
         false});
  }
  const auto* text = reinterpret_cast<const std::uint8_t*>(kDiscoveryRequestText.data());
  const auto size = static_cast<std::uint32_t>(kDiscoveryRequestText.size());
  for (auto& row : report.interfaces) {
    if (!row.usable) continue;
    row.requestSent = socket.SendTo(row.broadcast, kDiscoveryPort, text, size, true);
    if (row.requestSent) {
      ++report.requestsSent;
    } else {
      report.problems.push_back({row.name,
                                 "The discovery request cannot be sent on " + row.name + " (to " +
                                     DottedIpv4(row.broadcast) + ").",
                                 "Check the interface's routes and any rule that blocks outgoing "
                                 "UDP broadcasts.",
                                 false});
    }
  }
  const bool anyUsable = std::any_of(report.interfaces.begin(), report.interfaces.end(),
                                     [](const auto& row) { return row.usable; });
  if (anyUsable && report.requestsSent == 0) {
    report.problems.push_back({"UDP", "The discovery request could be sent on no interface.",
                               "Check the firewall's outgoing rules for UDP port 30303.", true});
  }
}

void CheckSerialPorts(DoctorReport& report) {
  for (const auto& device : platform::SerialPortCandidates()) {
    auto probe = platform::ProbeSerialPort(device);
    if (probe.state == platform::SerialPortState::Absent) continue;
    const std::string label = StablePortLabel(device);
    switch (probe.state) {
      case platform::SerialPortState::InUse: {
        std::string holders;
        for (const auto& holder : probe.holders) holders += (holders.empty() ? "" : ", ") + holder;
        report.problems.push_back(
            {label,
             label + " is in use by " + (holders.empty() ? "another program" : holders) + ".",
             "Close " + (holders.empty() ? std::string("that program") : holders) +
                 " to reach a unit on this port.",
             false});
        break;
      }
      case platform::SerialPortState::Denied:
        report.problems.push_back(
            {label, label + ": permission denied.",
             probe.group.empty()
                 ? std::string("Ask the administrator for access to this port.")
                 : "Add this user to the group '" + probe.group + "' (usermod -aG " + probe.group +
                       " USER), then log in again.",
             false});
        break;
      case platform::SerialPortState::Failed:
        report.problems.push_back({label, label + " cannot be opened: " + probe.detail + ".",
                                   "Check that it is a serial port and that its driver is loaded.",
                                   false});
        break;
      default:
        break;
    }
    report.serialPorts.push_back(std::move(probe));
  }
}

std::optional<std::uint32_t> LatencyWhileHeld(const platform::SerialAdapter& adapter) {
  platform::SerialPort port;
  if (!port.Open(adapter.device)) return adapter.latencyTimerMs;
  for (const auto& now : platform::ReadSerialAdapters()) {
    if (now.device == adapter.device) return now.latencyTimerMs;
  }
  return adapter.latencyTimerMs;
}

void CheckSerialAdapters(DoctorReport& report) {
  for (auto& adapter : platform::ReadSerialAdapters()) {
    DoctorAdapter row;
    row.latencyWhileHeldMs = LatencyWhileHeld(adapter);
    row.adapter = std::move(adapter);
    if (row.latencyWhileHeldMs && *row.latencyWhileHeldMs > kLatencyTimerLimitMs) {
      const std::uint32_t latency = *row.latencyWhileHeldMs;
      row.extraUpdateSeconds = (kFullUpdateTurnarounds * latency + 500) / 1000;
      const std::string label = StablePortLabel(row.adapter.device);
      report.problems.push_back(
          {label,
           label + " (" + row.adapter.driver + ") holds received bytes for " +
               std::to_string(latency) + " ms: a full update takes about " +
               ExtraUpdateText(row.extraUpdateSeconds) + " longer (" +
               std::to_string(kFullUpdateTurnarounds) + " replies x " + std::to_string(latency) +
               " ms).",
           platform::LatencyRemedy(row.adapter) + ".", false});
    }
    report.adapters.push_back(std::move(row));
  }
}

void CheckFirewall(DoctorReport& report) {
  report.firewall = platform::ReadDiscoveryFirewallState();
  if (report.firewall == platform::DiscoveryFirewallState::RuleMissing) {
    report.problems.push_back(
        {"firewall",
         "The Windows Firewall is on and its rule \"Announce\" for discovery replies is missing: "
         "replies from units are dropped.",
         "Run TessalineUpdater.exe once as Administrator: it adds the rule.", true});
  } else if (report.firewall == platform::DiscoveryFirewallState::Unknown) {
    report.problems.push_back(
        {"firewall", "The Windows Firewall policy cannot be read.",
         "If units stay hidden, allow inbound UDP from remote port 30303 in the firewall.", false});
  }
}

}  // namespace

bool DoctorReport::Blocked() const {
  return std::any_of(problems.begin(), problems.end(),
                     [](const auto& problem) { return problem.blocking; });
}

DoctorReport RunDoctorChecks() {
  DoctorReport report;
  const auto details = platform::ReadInterfaceDetails();
  report.interfacesRead = details.has_value();
  if (details) {
    report.interfaces = Flatten(*details);
    CheckInterfaces(report);
  } else {
    report.problems.push_back({"network", "The list of network interfaces cannot be read.",
                               "Check that networking is enabled on this computer.", true});
  }
  SendDiscoveryRequests(report);
  CheckSerialPorts(report);
  CheckSerialAdapters(report);
  CheckFirewall(report);
  return report;
}

std::string ExtraUpdateText(std::uint32_t seconds) {
  if (seconds < 60) return std::to_string(seconds) + " s";
  return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

const char* SerialStateWord(platform::SerialPortState state) {
  switch (state) {
    case platform::SerialPortState::Usable:
      return "usable";
    case platform::SerialPortState::InUse:
      return "in-use";
    case platform::SerialPortState::Denied:
      return "denied";
    case platform::SerialPortState::Absent:
      return "absent";
    case platform::SerialPortState::Failed:
      break;
  }
  return "failed";
}

const char* FirewallStateWord(platform::DiscoveryFirewallState state) {
  switch (state) {
    case platform::DiscoveryFirewallState::NotApplicable:
      return "not-applicable";
    case platform::DiscoveryFirewallState::FirewallOff:
      return "off";
    case platform::DiscoveryFirewallState::RulePresent:
      return "rule-present";
    case platform::DiscoveryFirewallState::RuleMissing:
      return "rule-missing";
    case platform::DiscoveryFirewallState::Unknown:
      break;
  }
  return "unknown";
}

}  // namespace tessaline::cli
