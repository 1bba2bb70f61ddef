// The option, exit-status and version texts of tessaline-update (also the source of its man page).
#include "cli/help_sections.h"

#include "version_info.h"

namespace tessaline::cli {

std::string OptionsHelp() {
  return R"(Options:
  --ip ADDRESS        the unit's IPv4 address; its bootloader answers on UDP port 6234
  --port DEVICE       the unit's serial port (/dev/ttyUSB0, COM3); 115200 baud, 8N1
                      update and exit-bootload: --ip and --port may be repeated
  --units FILE        update, exit-bootload: one unit a line (an IPv4 address or a serial
                      device path); blank lines and lines from '#' on are skipped
  --all               update, exit-bootload: search the network for --seconds and take every
                      unit that answers in bootload mode (update with a PIN: in either mode)
  --expect N          with --all: start only if exactly N units were found
  --parallel N        several units: run at most N at once (default 16)
  --max-failures K    several units: start no further unit once K have failed; running units
                      finish, the others are reported skipped
  --factory-defaults  update: also restore the unit's factory defaults
  --no-firmware       update: write neither application nor flash data
  --force             update: write even when the unit runs a newer version
  --no-verify         update: send the final command without reading the version back
  --confirm-running[=SECONDS]
                      update: wait up to SECONDS (default 60) for the unit to run again
  --receipt FILE      update: append the unit's receipt (one JSON line, signed) to FILE
  --key PUBLIC        receipts: check every line's signature with this public key (PEM)
  --report FILE       receipts: write an HTML report of the updates (prints on A4 and Letter)
  --site TEXT         receipts: the site named in the report's heading
  --csv FILE          receipts: write the report's rows as CSV
  --export FILE       keys: write the receipt signing key's public half (PEM) to FILE
  --package DIR       update, package: use the package in folder DIR (laid out as the build's:
                      HEX/, BIN/, PROPERTIES/, NOTES/) instead of the one built in
  --trace             print every frame sent and received on standard error
  --json              one JSON object per line on standard output
  --serial            discover: probe the serial ports instead of the network
  --seconds N         discover, --all: search for N seconds (default 5, at most 3600)
  --parser-port PORT  the unit's TCP text command port (1024 to 65535, default 4999)
  --pin NNNN          enter-bootload, update: the unit's four-digit installer PIN (update
                      takes units in application mode with it); visible to other users:
                      prefer --pin-file or the environment variable TESSALINE_PIN
  --pin-file FILE     update: the PIN from FILE's first line
  --canary N          update: the first N units must end running the new firmware before
                      the others start
  --plan              update: show each unit's mode, versions, action and blockers; change
                      nothing
  --retry-failed RECEIPTS
                      update: the units whose last receipt in RECEIPTS is not a success
  --help              show this text (after a command: that command's) and exit
  --version           show the program version, the package's build version and the source
                      revision, and exit
)";
}

std::string ExitStatusHelp() {
  return R"(Exit status:
  0   the command did what it was asked (doctor: nothing blocks discovery)
  1   the update failed part way; the unit needs another update
  2   the unit's bootloader did not answer
  3   the unit answered but was refused, or the package holds no firmware for it
  4   the unit runs a newer version than the package's; nothing was erased
  5   nothing answered a search or a query, or --all found other than --expect N units
  6   doctor: something blocks discovery on this computer
  7   written, but the unit reports another version; it stays in bootload mode
  8   receipts: a line of the receipts file is malformed, breaks the chain or (with
      --key) is not signed by that key
  9   several units: not every unit succeeded, some left part way or none updated (the
      summary gives each unit's own code); --plan: some unit would not proceed
  10  written, but the unit was not seen running within the --confirm-running time
  11  the unit's port could not be opened; the system's reason is shown
  12  the package was refused: an image is damaged, or it holds no application
      image for a firmware update; nothing was sent
  13  --receipt FILE cannot take the receipt: refused before anything was sent, or
      the append failed after the update
  14  the unit refused the final (or exit) command; it stays in bootload mode
  15  the final (or exit) command went unanswered while the bootloader still
      answered; the unit stays in bootload mode
  16  the running unit refused the PIN sequence; it was left untouched
  17  several units: some updated, every other one left untouched
  64  bad command line (also: a unit named twice, an address no unit can have)
  129 the terminal hung up; running units were finished, no other was started
  130 interrupted (Ctrl+C); the message says what state each unit is left in

Environment:
  TESSALINE_SERIAL_PORTS  Linux: colon-separated serial devices to use instead of
                          /dev/ttyS*, /dev/ttyUSB* and /dev/ttyACM*
  TESSALINE_KEY_DIR       the folder of the receipt signing key, instead of
                          ~/.config/tessaline (%APPDATA%\Tessaline on Windows)
)";
}

std::string VersionText(std::string_view packageBuildVersion) {
  std::string text = "tessaline-update " TESSALINE_PROGRAM_VERSION "\n";
  text += "package build version ";
  text += packageBuildVersion.empty() ? std::string_view("unknown") : packageBuildVersion;
  text += "\nsource revision " TESSALINE_SOURCE_REVISION "\n";
  return text;
}

}  // namespace tessaline::cli
