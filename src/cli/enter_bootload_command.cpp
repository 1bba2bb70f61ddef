// tessaline-update enter-bootload: the PIN, enable and final text commands, as the GUI sends them.
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/job_runner.h"
#include "cli/unit_address.h"
#include "discovery/text_protocol.h"
#include "strings/ui_strings.h"
#include "transport/ethernet_transport_tcp.h"

namespace tessaline::cli {

int RunEnterBootloadCommand(const CommandLine& line, Output& output) {
  std::string error;
  std::uint32_t parserPort = kDefaultParserPort;
  const auto unit = UnitAddressFrom(line, error);
  if (!unit || !ApplyParserPortOption(line, parserPort, error)) {
    output.Error("enter-bootload: " + error);
    return kExitUsage;
  }
  const std::string pin = line.Value("pin").value_or("");
  if (!IsWellFormedPin(pin)) {
    output.Error("enter-bootload: --pin needs the unit's 4-digit installer PIN");
    return kExitUsage;
  }

  // Otherwise an unopened port would pass for a silent unit.
  if (const auto why = SerialPortFailure(*unit)) return ReportUnopenedPort(output, *why);
  // The outcome becomes the result line below, after the unit's bootloader has had its time.
  const EnterBootloadResult entered = EnterBootloadMode(*unit, parserPort, pin);
  if (entered.socketFailure) ReportSocketFailure(output, *entered.socketFailure);

  switch (entered.outcome) {
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
