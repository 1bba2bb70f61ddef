// The command table of tessaline-update (entries in commands.def).
#pragma once

#include <string_view>

#include "cli/command_line.h"
#include "cli/output.h"

namespace tessaline::cli {

using CommandFunction = int (*)(const CommandLine&, Output&);

#define CLI_COMMAND(symbol, name, options, summary) \
  int Run##symbol##Command(const CommandLine& line, Output& output);
#include "cli/commands.def"
#undef CLI_COMMAND

struct CommandEntry {
  std::string_view name;
  std::string_view options;
  std::string_view summary;
  CommandFunction run;
};

const CommandEntry* FindCommand(std::string_view name);

// Usage text listing every command and its options.
std::string UsageText();
// `tessaline-update COMMAND --help`: that command's options and the exit codes.
std::string CommandUsageText(const CommandEntry& command);

}  // namespace tessaline::cli
