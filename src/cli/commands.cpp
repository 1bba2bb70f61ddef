// The command table and the usage text.
#include "cli/commands.h"

#include <array>
#include <string>

namespace tessaline::cli {

namespace {
constexpr CommandEntry kCommands[] = {
#define CLI_COMMAND(symbol, name, options, summary) {name, options, summary, &Run##symbol##Command},
#include "cli/commands.def"
#undef CLI_COMMAND
};
}  // namespace

std::span<const CommandEntry> Commands() { return kCommands; }

const CommandEntry* FindCommand(std::string_view name) {
  for (const auto& entry : kCommands) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

std::string UsageText() {
  std::string text = "usage: tessaline-update COMMAND [options]\n\ncommands:\n";
  for (const auto& entry : kCommands) {
    text += "  " + std::string(entry.name);
    for (const auto& option : ParseOptionList(entry.options)) {
      if (option.operand) {
        text += " " + option.name;
      } else {
        text += " [--" + option.name + (option.takesValue ? " VALUE]" : "]");
      }
    }
    text += "\n      " + std::string(entry.summary) + "\n";
  }
  text += "\nSee docs/command-line.md for the options and exit codes.\n";
  return text;
}

}  // namespace tessaline::cli
