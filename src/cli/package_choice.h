// The package a command works with: the one built in, or the folder named by --package, checked
// before any unit is contacted.
#pragma once

#include <memory>
#include <string>

#include "cli/command_line.h"
#include "package/package.h"

namespace tessaline::cli {

struct PackageChoice {
  std::shared_ptr<const Package> package;  // null when refused
  int exitCode = 0;                        // why it was refused
  const char* result = "";                 // the result word of a refusal
  std::string text;                        // what the user reads about a refusal
};

// The package of --package DIR, or the built-in one: the one whose texts the command shows.
// Either is refused when an image present does not load, as a job would load it.
PackageChoice ChoosePackage(const CommandLine& line);

// The same, also refused when it cannot serve an update with these choices: firmware asked for
// from a package without a single application image would erase a unit for nothing.
PackageChoice ChoosePackageForUpdate(const CommandLine& line, bool firmware);

// What the units of the package's model announce: the identity discovery looks for.
std::string DiscoveryIdentity(const Package& package);

}  // namespace tessaline::cli
