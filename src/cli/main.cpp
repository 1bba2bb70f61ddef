// Entry of tessaline-update: picks the command, parses its options and runs it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/help_sections.h"
#include "package/package.h"
#include "package/package_contents.h"
#include "platform/console_interrupts.h"
#include "platform/sockets.h"
#include "platform/terminal.h"
#include "platform/threading.h"

int main(int argc, char** argv) {
  using namespace tessaline;
  using namespace tessaline::cli;
  platform::ThreadNameHook("main_application");
  // A reader that goes away (`| head`) stops the output, never the units being written.
  platform::IgnoreBrokenPipes();
  std::vector<std::string> words(argv + 1, argv + argc);
  if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
    std::fputs(UsageText().c_str(), words.empty() ? stderr : stdout);
    return words.empty() ? kExitUsage : kExitSuccess;
  }
  if (words[0] == "--version" || words[0] == "-V") {
    std::fputs(VersionText(EmbeddedPackage()->UnitTexts().GetString("build-version")).c_str(),
               stdout);
    return kExitSuccess;
  }
  const CommandEntry* command = FindCommand(words[0]);
  if (command == nullptr) {
    std::fprintf(stderr, "tessaline-update: unknown command '%s'\n\n%s", words[0].c_str(),
                 UsageText().c_str());
    return kExitUsage;
  }
  words.erase(words.begin());
  if (std::find(words.begin(), words.end(), "--help") != words.end()) {
    std::fputs(CommandUsageText(*command).c_str(), stdout);
    return kExitSuccess;
  }
  CommandLine line;
  std::string error;
  if (!line.Parse(words, ParseOptionList(command->options), error)) {
    std::fprintf(stderr, "tessaline-update %s: %s\n", std::string(command->name).c_str(),
                 error.c_str());
    return kExitUsage;
  }

  Output output(ChooseOutputMode(line.Has("json"), platform::StdoutIsTerminal()), stdout, stderr);
  platform::SocketLibrary sockets;
  return command->run(line, output);
}
