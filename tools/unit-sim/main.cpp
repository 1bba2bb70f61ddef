// tessaline-unit-sim: runs one simulated unit (or a rack of them) until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "command_line.h"
#include "simulated_unit.h"
#include "unit_rack.h"

namespace {

using namespace tessaline::sim;

std::string ReadyLine(const SimulatedUnit& unit, const UnitConfig& config) {
  std::string ready = "ready";
  if (!unit.SerialPath().empty()) ready += " serial=" + unit.SerialPath();
  if (!config.udpAddress.empty()) ready += " udp=" + config.udpAddress + ":6234";
  if (unit.TextPort() != 0) {
    ready += " tcp=" + config.tcpText.substr(0, config.tcpText.find(':')) + ":" +
             std::to_string(unit.TextPort());
  }
  if (!config.discoveryAddress.empty()) ready += " discovery=" + config.discoveryAddress;
  return ready;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!options) {
    std::cerr << "tessaline-unit-sim: " << error << "\n";
    return 2;
  }
  if (options->version) {
    std::cout << VersionText();
    return 0;
  }
  if (options->help) {
    std::cout << HelpText();
    return 0;
  }
  const auto configs = RackConfigs(options->config, options->count, &error);
  if (!configs) {
    std::cerr << "tessaline-unit-sim: " << error << "\n";
    return 2;
  }
  // Blocked before any thread starts, so only sigwait below ever takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::vector<std::unique_ptr<SimulatedUnit>> units;
  for (const UnitConfig& config : *configs) {
    units.push_back(std::make_unique<SimulatedUnit>(config));
    if (!units.back()->Start(&error)) {
      std::cerr << "tessaline-unit-sim: unit " << units.size() << ": " << error << "\n";
      return 1;
    }
  }
  for (std::size_t k = 0; k < units.size(); ++k) {
    std::cout << ReadyLine(*units[k], (*configs)[k]) << "\n";
  }
  std::cout << std::flush;

  int received = 0;
  sigwait(&stopSignals, &received);
  for (auto& unit : units) unit->Stop();
  if (options->logPath.empty()) return 0;
  int status = 0;
  for (std::uint32_t k = 1; k <= units.size(); ++k) {
    const std::string path = RackLogPath(options->logPath, k, options->count);
    std::ofstream log(path, std::ios::trunc);
    log << units[k - 1]->LogJson();
    if (!log) {
      std::cerr << "tessaline-unit-sim: cannot write " << path << "\n";
      status = 1;
    }
  }
  return status;
}
