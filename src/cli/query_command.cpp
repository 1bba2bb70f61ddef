// tessaline-update query: a unit's bootloader and application versions and its bootload state.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/job_runner.h"
#include "cli/unit_address.h"
#include "discovery/text_protocol.h"
#include "discovery/version_worker.h"
#include "link/bootloader_commands.h"
#include "strings/ui_strings.h"
#include "transport/ethernet_transport_tcp.h"

namespace tessaline::cli {

namespace {

// What the version query finds, as the main window would show it.
struct QueryFindings final : VersionListener {
  explicit QueryFindings(Output& out) : output(out) {}
  Output& output;
  std::optional<std::uint16_t> bootloaderVersion;
  std::optional<std::uint32_t> applicationVersion;
  bool offerEnter = false;          // the running application would accept Enter Bootload
  bool offerExit = false;           // the unit is in (or bound for) its bootloader
  std::optional<char> stateLetter;  // any letter the running application answered with

  void QueryBegan() override {}
  void BootloaderVersion(std::uint16_t version) override {
    bootloaderVersion = version;
    offerEnter = false;
    offerExit = true;
  }
  void ApplicationVersion(std::optional<std::uint32_t> version) override {
    applicationVersion = version;
  }
  void NoBootloader() override {}
  void BootloadState(char letter) override {
    stateLetter = letter;
    offerEnter = letter == kBootloadDisabledLetter;
    offerExit = letter == kBootloadEnabledLetter;
  }
  void SocketFailed(const SocketFailure& failure) override { ReportSocketFailure(output, failure); }
  void QueryEnded() override {}
};

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
  std::uint32_t parserPort = kDefaultParserPort;
  const auto unit = UnitAddressFrom(line, error);
  if (!unit || !ApplyParserPortOption(line, parserPort, error)) {
    output.Error("query: " + error);
    return kExitUsage;
  }
  // Otherwise an unopened port would pass for a silent unit.
  if (const auto why = SerialPortFailure(*unit)) return ReportUnopenedPort(output, *why);
  QueryFindings findings(output);
  RunVersionQuery(*unit, parserPort, findings);

  const std::string none = UiString(IDS_NOT_FOUND);  // as the main window shows none
  const std::string bootloader =
      findings.bootloaderVersion ? FormatBootloaderVersion(*findings.bootloaderVersion) : none;
  const std::string application =
      findings.applicationVersion ? FormatApplicationVersion(*findings.applicationVersion) : none;
  const char* state = BootloadState(findings, findings.stateLetter);
  const bool answered = std::string_view(state) != "unknown";
  const bool otherLetter = std::string_view(state) == "answered";

  if (output.Mode() == OutputMode::Json) {
    JsonEvent event{{"event", "versions"},
                    {"unit", DescribeUnit(line)},
                    {"bootloader_version", bootloader},
                    {"application_version", application},
                    {"bootload_state", state}};
    if (findings.stateLetter) event["bootload_letter"] = LetterText(*findings.stateLetter);
    output.Event(event);
  } else {
    output.Line("Bootloader Version:   " + bootloader);
    output.Line("Application Version:  " + application);
    output.Line(std::string("Bootload mode:        ") +
                (otherLetter ? "unknown: the unit answered with state letter '" +
                                   LetterText(*findings.stateLetter) + "'"
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
