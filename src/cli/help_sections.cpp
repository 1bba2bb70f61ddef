// The option, exit-status and version texts of tessaline-update (also the source of its man page).
#include "cli/help_sections.h"

#include "version_info.h"

namespace tessaline::cli {

std::string OptionsHelp() {
  return R"(Options:
  --ip ADDRESS        the unit's IPv4 address; its bootloader answers on UDP port 6234
  --port DEVICE       the unit's serial port (/dev/ttyUSB0, COM3); 115200 baud, 8N1
  --factory-defaults  update: also restore the unit's factory defaults
  --no-firmware       update: write neither application nor flash data
  --force             update: write even when the unit runs this version or a newer one
  --package DIR       update, package: use the package in folder DIR (laid out as the build's:
                      HEX/, BIN/, PROPERTIES/, NOTES/) instead of the one built in
  --trace             print every frame sent and received on standard error
  --json              one JSON object per line on standard output
  --serial            discover: probe the serial ports instead of the network
  --seconds N         discover: search for N seconds (default 5, at most 3600)
  --parser-port PORT  the unit's TCP text command port (1024 to 65535, default 4999)
  --pin NNNN          enter-bootload: the unit's four-digit installer PIN
  --help              show this text and exit
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
  4   the unit already runs this version or a newer one; nothing was erased
  5   nothing answered a search or a query
  6   doctor: something blocks discovery on this computer
  11  the unit's port could not be opened; the system's reason is shown
  12  the package was refused: an image is damaged, or it holds no application
      image for a firmware update; nothing was sent
  64  bad command line

Environment:
  TESSALINE_SERIAL_PORTS  Linux: colon-separated serial devices to use instead of
                          /dev/ttyS*, /dev/ttyUSB* and /dev/ttyACM*
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
