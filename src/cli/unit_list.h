// The units a run of update or exit-bootload addresses: --ip and --port (each may repeat),
// --units FILE, or --all with the units that answer discovery (in bootload mode, or either mode).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/output.h"
#include "transport/unit_address.h"

namespace tessaline::cli {

// The units named, in the order given, or why there are none to run (with its exit code).
struct UnitList {
  std::vector<UnitAddress> units;
  int exitCode = 0;  // non-zero: refused, `error` says why
  std::string error;
};

// One unit per line: an IPv4 address or a serial device; blank lines and '#' comments skipped.
// `source` names the text in messages ("units.txt").
UnitList ParseUnitsText(std::string_view text, std::string_view source);

// Refuses (usage) a unit named twice in any spelling: one unit never gets two jobs.
UnitList RefuseDuplicates(UnitList list);

// Whether a unit named twice is refused at once, or kept so a plan can show it as a row.
enum class UnitsNamedTwice { Refuse, Keep };

// Every unit the command line names. --all searches the network for --seconds (default 5) for
// units announcing `identity`, prints those found in bootload mode (in either mode with
// `eitherMode`) and, with --expect N, refuses unless exactly N were.
UnitList UnitListFrom(const CommandLine& line, Output& output, std::string_view identity,
                      bool eitherMode = false, UnitsNamedTwice twice = UnitsNamedTwice::Refuse);

}  // namespace tessaline::cli
