// tessaline-update enter-bootload: the PIN, enable and final text commands, as the GUI sends them.
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/unit_address.h"
#include "discovery/text_protocol.h"
#include "platform/message_box.h"
#include "shell/ui_strings.h"

namespace tessaline::cli {

int RunEnterBootloadCommand(const CommandLine& line, Output& output) {
  std::string error;
  const auto unit = UnitAddressFrom(line, error);
  auto transport = unit ? unit->MakeBootloaderTransport() : nullptr;
  if (!transport || !ApplyParserPortOption(line, error)) {
    output.Error("enter-bootload: " + error);
    return kExitUsage;
  }
  const std::string pin = line.Value("pin").value_or("");
  if (!IsWellFormedPin(pin)) {
    output.Error("enter-bootload: --pin needs the unit's 4-digit installer PIN");
    return kExitUsage;
  }

  // The sequence's own boxes carry the outcome, which becomes the result line; socket errors
  // still reach the usual handler.
  platform::MessageBoxHandler previous;
  previous = platform::SetMessageBoxHandler([&previous](const platform::MessageBoxRequest& box) {
    if (box.caption == UiString(IDS_BOOTLOAD_MODE)) return platform::MessageBoxResult::Ok;
    return previous ? previous(box) : platform::PlatformMessageBox(box);
  });
  const EnterBootloadOutcome outcome = EnterBootloadMode(nullptr, *transport, pin);
  platform::SetMessageBoxHandler(previous);

  switch (outcome) {
    case EnterBootloadOutcome::Entered:
      output.Result("entered", UiString(IDS_BOOTLOAD_ENABLED), kExitSuccess);
      return kExitSuccess;
    case EnterBootloadOutcome::Refused:
      output.Result("refused", UiString(IDS_BOOTLOAD_FAILED), kExitWrongResponse);
      return kExitWrongResponse;
    case EnterBootloadOutcome::NoUnitAnswered:
      break;
  }
  output.Result("not-found", "No unit answered the bootload query.", kExitNotFound);
  return kExitNotFound;
}

}  // namespace tessaline::cli
