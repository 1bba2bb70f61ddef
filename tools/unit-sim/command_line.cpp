// The tessaline-unit-sim command line.
#include "command_line.h"

#include <charconv>
#include <functional>
#include <map>

#include "unit_rack.h"
#include "version_info.h"

namespace tessaline::sim {
namespace {

template <typename Number>
bool ParseNumber(const std::string& text, Number* value) {
  const char* end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, *value);
  return failure == std::errc() && stop == end;
}

bool ParseProbability(const std::string& text, double* value) {
  return ParseNumber(text, value) && *value >= 0.0 && *value <= 1.0;
}

// "CODE:N": a command code (decimal, or hexadecimal after 0x) and a count from 1; the code's
// sequenced bit is dropped.
bool ParseCommandArrival(const std::string& text, CommandArrival* arrival) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  std::string code = text.substr(0, colon);
  int base = 10;
  if (code.rfind("0x", 0) == 0 || code.rfind("0X", 0) == 0) {
    code = code.substr(2);
    base = 16;
  }
  unsigned value = 0;
  const char* end = code.data() + code.size();
  const auto [stop, failure] = std::from_chars(code.data(), end, value, base);
  if (failure != std::errc() || stop != end || code.empty() || value > 0xFF) return false;
  arrival->command = static_cast<std::uint8_t>(value & 0x7F);
  return ParseNumber(text.substr(colon + 1), &arrival->nth) && arrival->nth > 0;
}

}  // namespace

std::string HelpText() {
  return R"(Usage: tessaline-unit-sim PORT... [OPTION]...
A simulated Tessaline unit for tests, benchmarks and the demo.

Ports (at least one):
  --udp ADDR              bootloader on UDP ADDR:6234, answered to the sender's address and port
  --serial                open a pseudo-terminal for the unit's RS232 line
  --serial-link PATH      as --serial, and make PATH a symbolic link to its slave
  --tcp-text ADDR[:PORT]  the application's text command port (Parser Port; default port 4999,
                          0 picks a free one); refused while the bootloader runs
  --discovery ADDR        answer "Discovery: Who is out there ?" on UDP 30303 sent to ADDR or
                          broadcast on its subnet
Serial line:
  --line-rate BAUD        pace the line: each byte costs ten bit times at BAUD (default: none)
  --app-baud BAUD         the application's only text rate on the line (default 115200); the
                          bootloader runs at 115200; bytes sent at another rate are not understood
Unit:
  --mode bootloader|application   starting mode (default bootloader)
  --identity MODEL,MCU,DSP        identity (default Tessaline,STM32,ADAU1452)
  --bl-version MAJOR.MINOR        bootloader version (default 1.0)
  --app-version MAJOR.MINOR       application version before any erase (default 1.1)
  --no-sequenced                  a bootloader without the sequenced command forms
  --pin NNNN                      installer PIN (default 1234)
  --bootload-enabled              the application reports bootload mode enabled
  --switch-delay-ms MS            from "<SY,BR/>" to the bootloader (default 200)
  --erase-delay-ms MS             processing time of the erase commands (default 0)
Rack:
  --count N               N units in this process (default 1), each with its own memory, log and
                          fault seed: unit k (1..N) takes the k-th consecutive address from each
                          of --udp, --tcp-text and --discovery (--udp 127.0.0.2 --count 4: .2 to
                          .5), its own pseudo-terminal (--serial-link PATH gets PATH-k), the log
                          FILE with -k before its extension (unit.json: unit-1.json ...) and
                          the fault seed --seed + k - 1
Faults (bootloader protocol; probabilities 0..1, reproducible from the seed):
  --seed N                fault generator seed (default 1)
  --drop P                lose a request before the unit sees it
  --corrupt P             change one byte of a reply (its CRC then fails)
  --duplicate P           send a reply twice
  --delay P               hold a reply back by --delay-ms
  --delay-ms MS           the hold-back of --delay (default 0)
  --stale P               a sequenced reply carries the previous sequence number
  --drop-nth CODE:N       lose the Nth arrival of command CODE (plain code; both forms and
                          resends count) before the unit sees it; repeatable (0x04:1 loses the
                          first finish command)
  --refuse CODE:N         answer status 0 to the Nth fresh request with command CODE (e.g.
                          0x03:5), applying nothing: a refused 0x04 or 0x0B leaves the unit in
                          bootload mode
  --silent-after N        answer nothing after N requests
  --stale-version         0x09 keeps reporting the version from before the last application
                          erase, whatever was written since
Output:
  --log FILE              at exit, write JSON: requests in order (command byte, sequence number,
                          data length), the final mode, length and SHA-256 of the application
                          memory (lowest to highest written address, gaps 0xFF) and of the flash
                          data (from 0x40000)
  --help                  this text
  --version               program version, package build version and source revision

Prints one line "ready" followed by serial=PATH, udp=ADDR:PORT, tcp=ADDR:PORT and
discovery=ADDR for the open ports once every port is open (with --count, one such line per unit,
in unit order, once every unit is open); stops cleanly on SIGINT or SIGTERM.
)";
}

std::string VersionText() {
  return "tessaline-unit-sim " TESSALINE_PROGRAM_VERSION "\n"
         "package build version " TESSALINE_CONFIGURED_PACKAGE_VERSION "\n"
         "source revision " TESSALINE_SOURCE_REVISION "\n";
}

std::optional<ProgramOptions> ParseCommandLine(const std::vector<std::string>& args,
                                               std::string* error) {
  ProgramOptions options;
  UnitConfig& config = options.config;
  FaultConfig& faults = config.faults;
  using Setter = std::function<bool(const std::string&)>;
  const auto version = [](auto* major, auto* minor) {
    return [major, minor](const std::string& text) {
      const auto dot = text.find('.');
      return dot != std::string::npos && ParseNumber(text.substr(0, dot), major) &&
             ParseNumber(text.substr(dot + 1), minor);
    };
  };
  const auto probability = [](double* value) {
    return [value](const std::string& text) { return ParseProbability(text, value); };
  };
  const auto number = [](std::uint32_t* value) {
    return [value](const std::string& text) { return ParseNumber(text, value); };
  };
  const auto text = [](std::string* value) {
    return [value](const std::string& given) {
      *value = given;
      return !given.empty();
    };
  };
  std::uint16_t appMajor = 1;
  std::uint16_t appMinor = 1;
  bool appVersionGiven = false;

  const std::map<std::string, Setter> valued = {
      {"--udp", text(&config.udpAddress)},
      {"--serial-link", text(&config.serialLink)},
      {"--line-rate", number(&config.lineRate)},
      {"--app-baud",
       [&config](const std::string& t) {
         return ParseNumber(t, &config.appBaud) && config.appBaud > 0;
       }},
      {"--tcp-text", text(&config.tcpText)},
      {"--discovery", text(&config.discoveryAddress)},
      {"--mode",
       [&config](const std::string& t) {
         if (t == "bootloader")
           config.mode = UnitMode::Bootloader;
         else if (t == "application")
           config.mode = UnitMode::Application;
         else
           return false;
         return true;
       }},
      {"--identity",
       [&config](const std::string& t) {
         const auto first = t.find(',');
         const auto second = first == std::string::npos ? first : t.find(',', first + 1);
         if (second == std::string::npos) return false;
         config.model = t.substr(0, first);
         config.mcuFamily = t.substr(first + 1, second - first - 1);
         config.dsp = t.substr(second + 1);
         return true;
       }},
      {"--bl-version", version(&config.bootloaderMajor, &config.bootloaderMinor)},
      {"--app-version",
       [&](const std::string& t) {
         appVersionGiven = true;
         return version(&appMajor, &appMinor)(t);
       }},
      {"--pin", text(&config.pin)},
      {"--switch-delay-ms", number(&config.bootloaderSwitchDelayMs)},
      {"--erase-delay-ms", number(&config.eraseDelayMs)},
      {"--seed", [&faults](const std::string& t) { return ParseNumber(t, &faults.seed); }},
      {"--drop", probability(&faults.dropRequests)},
      {"--corrupt", probability(&faults.corruptReplies)},
      {"--duplicate", probability(&faults.duplicateReplies)},
      {"--delay", probability(&faults.delayReplies)},
      {"--delay-ms", number(&faults.delayMs)},
      {"--stale", probability(&faults.staleSequence)},
      {"--refuse",
       [&faults](const std::string& t) {
         CommandArrival refused;
         if (!ParseCommandArrival(t, &refused)) return false;
         faults.refuseCommand = refused.command;
         faults.refuseNth = refused.nth;
         return true;
       }},
      {"--drop-nth",
       [&faults](const std::string& t) {
         CommandArrival lost;
         if (!ParseCommandArrival(t, &lost)) return false;
         faults.dropArrivals.push_back(lost);
         return true;
       }},
      {"--silent-after", number(&faults.silentAfter)},
      {"--log", text(&options.logPath)},
      {"--count",
       [&options](const std::string& t) {
         return ParseNumber(t, &options.count) && options.count >= 1 &&
                options.count <= kMaxRackUnits;
       }},
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "--help" || flag == "-h") {
      options.help = true;
    } else if (flag == "--version") {
      options.version = true;
    } else if (flag == "--serial") {
      config.serial = true;
    } else if (flag == "--bootload-enabled") {
      config.bootloadEnabled = true;
    } else if (flag == "--stale-version") {
      config.staleVersion = true;
    } else if (flag == "--no-sequenced") {
      config.sequencedCapable = false;
    } else if (const auto found = valued.find(flag); found != valued.end()) {
      if (i + 1 >= args.size()) {
        *error = flag + " needs a value";
        return {};
      }
      if (!found->second(args[++i])) {
        *error = "bad value for " + flag + ": " + args[i];
        return {};
      }
    } else {
      *error = "unknown flag " + flag + " (see --help)";
      return {};
    }
  }
  if (appVersionGiven) {
    config.applicationVersion = static_cast<std::uint32_t>(appMajor) << 16 | appMinor;
  }
  if (!options.help && !options.version && config.udpAddress.empty() && config.serialLink.empty() && !config.serial &&
      config.tcpText.empty() && config.discoveryAddress.empty()) {
    *error = "no port: give --udp, --serial, --serial-link, --tcp-text or --discovery";
    return {};
  }
  return options;
}

}  // namespace tessaline::sim
