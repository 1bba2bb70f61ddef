// What stands between this computer and its units: interfaces, the discovery socket, serial
// ports and the firewall, each problem with what to do about it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/firewall.h"
#include "platform/serial_adapters.h"
#include "platform/serial_port_probe.h"

namespace tessaline::cli {

// One IPv4 address of one interface (an interface without any has one entry, hasAddress false).
struct DoctorInterface {
  std::string name;
  bool up = false;
  bool loopback = false;
  bool hasAddress = false;
  std::uint32_t address = 0;    // network byte order
  std::uint32_t mask = 0;       // network byte order
  std::uint32_t broadcast = 0;  // directed broadcast, network byte order
  bool linkLocal = false;       // 169.254.0.0/16
  bool usable = false;          // up, with an address discover sends on (CarriesDiscovery)
  bool requestSent = false;
};

// Request-reply turnarounds of a full update (scripts/bench-cli.sh): each waits out the adapter's
// latency timer once, since a reply is shorter than the driver's buffer.
inline constexpr std::uint32_t kFullUpdateTurnarounds = 12225;
// Above this, the timer costs a full update more than about 25 s.
inline constexpr std::uint32_t kLatencyTimerLimitMs = 2;

struct DoctorAdapter {
  platform::SerialAdapter adapter;
  // The timer while the updater holds the port (it asks the driver for low latency on open).
  std::optional<std::uint32_t> latencyWhileHeldMs;
  std::uint32_t extraUpdateSeconds = 0;  // what that timer adds to a full update
};

// A duration in whole seconds as doctor writes it: "3 min 16 s", "12 s".
std::string ExtraUpdateText(std::uint32_t seconds);

struct DoctorProblem {
  std::string subject;  // "eth1", "/dev/ttyUSB0", "UDP port 30303", "firewall"
  std::string text;     // what is wrong
  std::string action;   // one line: what to do
  bool blocking = false;
};

struct DoctorReport {
  bool interfacesRead = false;
  std::vector<DoctorInterface> interfaces;
  bool socketCreated = false;
  bool broadcastAllowed = false;
  bool discoveryPortBound = false;
  std::uint32_t requestsSent = 0;
  std::vector<platform::SerialPortProbe> serialPorts;  // every port present
  std::vector<DoctorAdapter> adapters;                  // every USB serial adapter
  platform::DiscoveryFirewallState firewall = platform::DiscoveryFirewallState::NotApplicable;
  std::vector<DoctorProblem> problems;

  bool Blocked() const;
};

// Runs every check; sends one discovery request to each usable interface's directed broadcast.
DoctorReport RunDoctorChecks();

const char* SerialStateWord(platform::SerialPortState state);
const char* FirewallStateWord(platform::DiscoveryFirewallState state);

}  // namespace tessaline::cli
