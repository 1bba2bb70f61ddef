// The parts of tessaline-update's --help and --version that are not the command table.
#pragma once

#include <string>
#include <string_view>

namespace tessaline::cli {

// The options of every command, what each means.
std::string OptionsHelp();
// The exit codes and the environment the program reads.
std::string ExitStatusHelp();
// "tessaline-update 2.0", then the package's build version and the source revision.
std::string VersionText(std::string_view packageBuildVersion);

}  // namespace tessaline::cli
