// The command table and the usage text.
#include "cli/commands.h"

#include <string>

#include "cli/help_sections.h"

namespace tessaline::cli {

namespace {
constexpr CommandEntry kCommands[] = {
#define CLI_COMMAND(symbol, name, options, summary) {name, options, summary, &Run##symbol##Command},
#include "cli/commands.def"
#undef CLI_COMMAND
};
}  // namespace

const CommandEntry* FindCommand(std::string_view name) {
  for (const auto& entry : kCommands) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

namespace {
// "  update [--ip VALUE]... [--force]\n      summary\n"
std::string CommandSynopsis(const CommandEntry& entry) {
  std::string text = "  " + std::string(entry.name);
  for (const auto& option : ParseOptionList(entry.options)) {
    if (option.operand) {
      text += " " + option.name;
    } else {
      text += " [--" + option.name +
              (option.takesValue      ? " VALUE]"
               : option.optionalValue ? "[=VALUE]]"
                                      : "]") +
              (option.repeats ? "..." : "");
    }
  }
  return text + "\n      " + std::string(entry.summary) + "\n";
}
}  // namespace

std::string CommandUsageText(const CommandEntry& command) {
  return "Usage: tessaline-update " + std::string(command.name) + " [OPTION]...\n" +
         CommandSynopsis(command) + '\n' + OptionsHelp() + '\n' + ExitStatusHelp() +
         "\nSee docs/command-line.md for the output forms and examples.\n";
}

std::string UsageText() {
  std::string text =
      "Usage: tessaline-update COMMAND [OPTION]...\n"
      "  or:  tessaline-update --help | --version\n"
      "Writes the firmware package built into this program into Tessaline units, and finds,\n"
      "queries and prepares them, over the network or a serial port.\n\nCommands:\n";
  for (const auto& entry : kCommands) text += CommandSynopsis(entry);
  text += '\n';
  text += OptionsHelp();
  text += '\n';
  text += ExitStatusHelp();
  text += "\nSee docs/command-line.md for the output forms and examples.\n";
  return text;
}

}  // namespace tessaline::cli
