// tessaline-update query: a unit's bootloader and application versions and its bootload state.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/unit_address.h"
#include "discovery/version_worker.h"
#include "shell/message_target.h"
#include "shell/messages.h"
#include "shell/ui_strings.h"

namespace tessaline::cli {

namespace {

// What the version worker's messages say about the unit, as the main window would show it.
struct QueryFindings {
  std::optional<std::uint32_t> bootloaderVersion;
  std::optional<std::uint32_t> applicationVersion;
  bool offerEnter = false;  // last WM_APP_ENABLE_ENTER_BOOTLOAD
  bool offerExit = false;   // last WM_APP_ENABLE_EXIT_BOOTLOAD
};

QueryFindings Interpret(const std::vector<WorkerMessage>& messages) {
  QueryFindings findings;
  for (const auto& message : messages) {
    switch (message.code) {
      case WM_APP_BOOTLOADER_VERSION:
        findings.bootloaderVersion = static_cast<std::uint32_t>(message.wParam & 0xFFFFu);
        break;
      case WM_APP_APPLICATION_VERSION: {
        const auto value = static_cast<std::uint32_t>(message.lParam);
        if (value != 0 && value != kNoApplicationVersion) findings.applicationVersion = value;
        break;
      }
      case WM_APP_ENABLE_ENTER_BOOTLOAD:
        findings.offerEnter = message.wParam != 0;
        break;
      case WM_APP_ENABLE_EXIT_BOOTLOAD:
        findings.offerExit = message.wParam != 0;
        break;
      default:
        break;
    }
  }
  return findings;
}

std::string VersionText(std::optional<std::uint32_t> version, unsigned shift, std::uint32_t mask) {
  if (!version) return UiString(IDS_NOT_FOUND);
  return std::to_string((*version >> shift) & mask) + "." + std::to_string(*version & mask);
}

// "bootloader": the bootloader answered; "enabled"/"disabled": the running application's report.
// "answered": the application answered with a letter that means neither.
const char* BootloadState(const QueryFindings& findings, std::optional<char> letter) {
  if (findings.bootloaderVersion) return "bootloader";
  if (findings.offerExit) return "enabled";
  if (findings.offerEnter) return "disabled";
  if (letter) return "answered";
  return "unknown";
}

// The letter as the user reads it: a control character or '\0' (a reply cut short) by its code.
std::string LetterText(char letter) {
  const auto code = static_cast<unsigned char>(letter);
  if (code > 0x20 && code < 0x7F) return std::string(1, letter);
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", code);
  return text;
}

}  // namespace

int RunQueryCommand(const CommandLine& line, Output& output) {
  std::string error;
  const auto unit = UnitAddressFrom(line, error);
  auto transport = unit ? unit->MakeBootloaderTransport() : nullptr;
  if (!transport || !ApplyParserPortOption(line, error)) {
    output.Error("query: " + error);
    return kExitUsage;
  }
  auto recorder = std::make_shared<RecordingMessageTarget>();
  UnitRequest request{recorder, std::move(transport)};
  const VersionQueryAnswer answer = RunVersionQuery(request);

  const QueryFindings findings = Interpret(recorder->Messages());
  const std::string bootloader = VersionText(findings.bootloaderVersion, 8, 0xFFu);
  const std::string application = VersionText(findings.applicationVersion, 16, 0xFFFFu);
  const char* state = BootloadState(findings, answer.bootloadStateLetter);
  const bool answered = std::string_view(state) != "unknown";
  const bool otherLetter = std::string_view(state) == "answered";

  if (output.Mode() == OutputMode::Json) {
    JsonEvent event("versions");
    event.Add("unit", DescribeUnit(line))
        .Add("bootloader_version", bootloader)
        .Add("application_version", application)
        .Add("bootload_state", state);
    if (answer.bootloadStateLetter) {
      event.Add("bootload_letter", LetterText(*answer.bootloadStateLetter));
    }
    output.Event(event);
  } else {
    output.Line("Bootloader Version:   " + bootloader);
    output.Line("Application Version:  " + application);
    output.Line(std::string("Bootload mode:        ") +
                (otherLetter ? "unknown: the unit answered with state letter '" +
                                   LetterText(*answer.bootloadStateLetter) + "'"
                             : std::string(state)));
  }
  if (!answered) {
    output.Result("not-found", "No unit answered.", kExitNotFound);
    return kExitNotFound;
  }
  output.Result("answered", std::string("Unit ") + DescribeUnit(line) + " answered.", kExitSuccess);
  return kExitSuccess;
}

}  // namespace tessaline::cli
