// tessaline-update doctor: shows what stands between this computer and its units.
#include <bit>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/doctor_checks.h"
#include "cli/exit_codes.h"
#include "platform/serial_adapters.h"
#include "transport/com_port_table.h"
#include "transport/unit_address.h"

namespace tessaline::cli {

namespace {

std::string Subnet(const DoctorInterface& row) {
  return DottedIpv4(row.address & row.mask) + "/" + std::to_string(std::popcount(row.mask));
}

nlohmann::json InterfaceJson(const DoctorInterface& row) {
  nlohmann::json entry = {{"name", row.name},         {"up", row.up},
                          {"loopback", row.loopback}, {"link_local", row.linkLocal},
                          {"usable", row.usable},     {"request_sent", row.requestSent}};
  if (row.hasAddress) {
    entry["address"] = DottedIpv4(row.address);
    entry["subnet"] = Subnet(row);
    entry["broadcast"] = DottedIpv4(row.broadcast);
  } else {
    entry["address"] = nullptr;
  }
  return entry;
}

std::string ReportJson(const DoctorReport& report) {
  nlohmann::json interfaces = nlohmann::json::array();
  for (const auto& row : report.interfaces) interfaces.push_back(InterfaceJson(row));
  nlohmann::json ports = nlohmann::json::array();
  for (const auto& probe : report.serialPorts) {
    ports.push_back({{"port", PortLabel(probe.device)},
                     {"device", probe.device},
                     {"stable_name", platform::StableSerialName(probe.device)},
                     {"state", SerialStateWord(probe.state)},
                     {"detail", probe.detail},
                     {"holders", probe.holders}});
  }
  nlohmann::json adapters = nlohmann::json::array();
  for (const auto& row : report.adapters) {
    const auto orNull = [](const std::optional<std::uint32_t>& ms) {
      return ms ? nlohmann::json(*ms) : nlohmann::json(nullptr);
    };
    adapters.push_back({{"device", row.adapter.device},
                        {"stable_name", row.adapter.stableName},
                        {"driver", row.adapter.driver},
                        {"latency_timer_ms", orNull(row.adapter.latencyTimerMs)},
                        {"latency_while_held_ms", orNull(row.latencyWhileHeldMs)},
                        {"extra_update_seconds", row.extraUpdateSeconds}});
  }
  nlohmann::json problems = nlohmann::json::array();
  for (const auto& problem : report.problems) {
    problems.push_back({{"subject", problem.subject},
                        {"problem", problem.text},
                        {"action", problem.action},
                        {"blocking", problem.blocking}});
  }
  const nlohmann::json document = {{"event", "doctor"},
                                   {"interfaces", interfaces},
                                   {"discovery",
                                    {{"socket", report.socketCreated},
                                     {"broadcast", report.broadcastAllowed},
                                     {"port_30303_bound", report.discoveryPortBound},
                                     {"requests_sent", report.requestsSent}}},
                                   {"serial_ports", ports},
                                   {"serial_adapters", adapters},
                                   {"firewall", FirewallStateWord(report.firewall)},
                                   {"problems", problems},
                                   {"blocked", report.Blocked()}};
  // Interface names are bytes, not always UTF-8: a stray byte is replaced, not fatal.
  return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string InterfaceLine(const DoctorInterface& row) {
  std::string line = "  " + row.name;
  if (line.size() < 14) line.resize(14, ' ');
  if (!row.hasAddress) {
    line += " no IPv4 address";
  } else {
    // Appended apart: GCC 12 warns falsely about `"literal" + std::string` at -O2.
    line += ' ';
    line += DottedIpv4(row.address) + "/" + std::to_string(std::popcount(row.mask)) + "  subnet " +
            Subnet(row) + "  broadcast " + DottedIpv4(row.broadcast);
  }
  line += row.up ? "  up" : "  down";
  if (row.loopback) line += row.usable ? "  loopback" : "  loopback (not used)";
  if (row.linkLocal) line += "  link-local";
  if (row.usable) line += row.requestSent ? "  request sent" : "  request NOT sent";
  return line;
}

std::string AdapterLine(const DoctorAdapter& row) {
  const auto& adapter = row.adapter;
  std::string line = "  " + (adapter.stableName.empty() ? adapter.device : adapter.stableName);
  if (!adapter.stableName.empty() && adapter.stableName.find(PortLabel(adapter.device)) ==
                                         std::string::npos) {
    line += "  (" + adapter.device + ")";
  }
  line += "  driver " + (adapter.driver.empty() ? std::string("unknown") : adapter.driver);
  if (!adapter.latencyTimerMs) return line + "  latency timer not shown by the system";
  line += "  latency timer " + std::to_string(*adapter.latencyTimerMs) + " ms";
  if (row.latencyWhileHeldMs && row.latencyWhileHeldMs != adapter.latencyTimerMs) {
    line += " (" + std::to_string(*row.latencyWhileHeldMs) + " ms while the updater holds it)";
  }
  if (row.extraUpdateSeconds > 0) {
    line += "  a full update takes " + ExtraUpdateText(row.extraUpdateSeconds) + " longer";
  }
  return line;
}

void PrintText(const DoctorReport& report, Output& output) {
  output.Line("Network interfaces:");
  if (report.interfaces.empty()) output.Line("  (none)");
  for (const auto& row : report.interfaces) output.Line(InterfaceLine(row));
  output.Line("Discovery (UDP port 30303):");
  output.Line(std::string("  socket with broadcast: ") +
              (report.socketCreated && report.broadcastAllowed ? "yes" : "no"));
  output.Line(std::string("  port 30303: ") +
              (report.discoveryPortBound ? "free (bound here)" : "held by another program"));
  output.Line("  requests sent: " + std::to_string(report.requestsSent));
  output.Line("Serial ports:");
  if (report.serialPorts.empty()) output.Line("  (none)");
  for (const auto& probe : report.serialPorts) {
    std::string line = "  " + StablePortLabel(probe.device) + "  " + SerialStateWord(probe.state);
    for (const auto& holder : probe.holders) line += "  " + holder;
    output.Line(line);
  }
  output.Line("Serial adapters:");
  if (report.adapters.empty()) output.Line("  (none)");
  for (const auto& row : report.adapters) output.Line(AdapterLine(row));
  output.Line(std::string("Firewall: ") + FirewallStateWord(report.firewall));
  if (report.problems.empty()) return;
  output.Line("Problems:");
  for (const auto& problem : report.problems) {
    output.Line(std::string(problem.blocking ? "  BLOCKS: " : "  note:   ") + problem.text);
    output.Line("          -> " + problem.action);
  }
}

}  // namespace

int RunDoctorCommand(const CommandLine& /*line*/, Output& output) {
  const DoctorReport report = RunDoctorChecks();
  if (output.Mode() == OutputMode::Json) {
    std::printf("%s\n", ReportJson(report).c_str());
    std::fflush(stdout);
  } else {
    PrintText(report, output);
  }
  if (report.Blocked()) {
    output.Result("blocked", "Something on this computer blocks discovery (see the problems).",
                  kExitBlocked);
    return kExitBlocked;
  }
  output.Result("clear", "Nothing on this computer blocks discovery.", kExitSuccess);
  return kExitSuccess;
}

}  // namespace tessaline::cli
