// The tessaline-unit-sim command line: flags to a unit configuration, and the --help text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulated_unit.h"

namespace tessaline::sim {

struct ProgramOptions {
  UnitConfig config;
  std::string logPath;      // --log FILE: the JSON written at exit
  std::uint32_t count = 1;  // --count N: units in this process
  bool help = false;
  bool version = false;
};

// Arguments without the program name. Empty with a reason on an unknown flag or a bad value.
std::optional<ProgramOptions> ParseCommandLine(const std::vector<std::string>& args,
                                               std::string* error);
std::string HelpText();
// Program version, the build version of the package this build carries, source revision.
std::string VersionText();

}  // namespace tessaline::sim
