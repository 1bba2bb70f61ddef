// tessaline-unit-sim: runs one simulated unit until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "command_line.h"
#include "simulated_unit.h"

int main(int argc, char** argv) {
  using namespace tessaline::sim;
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
  // Blocked before any thread starts, so only sigwait below ever takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  const UnitConfig& config = options->config;
  SimulatedUnit unit(config);
  if (!unit.Start(&error)) {
    std::cerr << "tessaline-unit-sim: " << error << "\n";
    return 1;
  }
  std::string ready = "ready";
  if (!unit.SerialPath().empty()) ready += " serial=" + unit.SerialPath();
  if (!config.udpAddress.empty()) ready += " udp=" + config.udpAddress + ":6234";
  if (unit.TextPort() != 0) {
    ready += " tcp=" + config.tcpText.substr(0, config.tcpText.find(':')) + ":" +
             std::to_string(unit.TextPort());
  }
  if (!config.discoveryAddress.empty()) ready += " discovery=" + config.discoveryAddress;
  std::cout << ready << std::endl;

  int received = 0;
  sigwait(&stopSignals, &received);
  unit.Stop();
  if (!options->logPath.empty()) {
    std::ofstream log(options->logPath, std::ios::trunc);
    log << unit.LogJson();
    if (!log) {
      std::cerr << "tessaline-unit-sim: cannot write " << options->logPath << "\n";
      return 1;
    }
  }
  return 0;
}
