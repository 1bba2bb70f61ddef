// Turning the command line's unit options into the list of units a run addresses.
#include "cli/unit_list.h"

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <utility>

#include "cli/exit_codes.h"
#include "cli/rack_runner.h"
#include "cli/unit_address.h"
#include "discovery/discovery_listener.h"
#include "discovery/discovery_thread.h"
#include "platform/locked_file.h"

namespace tessaline::cli {

namespace {

constexpr std::uint32_t kDefaultSearchSeconds = 5;
constexpr std::uint32_t kMaxSearchSeconds = 3600;
constexpr std::uint32_t kMaxExpected = 1024;
// A units file is a few lines a unit; anything far larger was named by mistake.
constexpr std::size_t kLongestUnitsFileBytes = std::size_t{1} << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

UnitList Refused(int exitCode, std::string error) {
  UnitList list;
  list.exitCode = exitCode;
  list.error = std::move(error);
  return list;
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Text made only of digits and dots was meant as an address, never as a device.
bool LooksLikeAddress(std::string_view text) {
  return text.find_first_not_of("0123456789.") == std::string_view::npos;
}

// "/dev/ttyUSB0", "\\.\COM3", "COM3": a path, or a Windows port by its name.
bool LooksLikeDevice(std::string_view text) {
  if (text.find_first_of("/\\") != std::string_view::npos) return true;
  const bool com = text.size() > 3 && (text[0] == 'C' || text[0] == 'c') &&
                   (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm');
  return com && text.find_first_not_of("0123456789", 3) == std::string_view::npos;
}

// The units file's text; a folder, a missing file or one that cannot be read is refused.
std::optional<std::string> ReadUnitsFile(const std::string& path, std::string& error) {
  using namespace std::chrono_literals;
  auto file = platform::LockedFile::Open(path, platform::FileLockMode::SharedRead,
                                         {{}, std::chrono::steady_clock::now() + 10s}, error);
  if (!file) return std::nullopt;
  return file->ReadToEnd(kLongestUnitsFileBytes, error);
}

// Units in bootload mode (or in either mode), in the order they first answered, with the mode
// each announced; the discovery thread adds to it.
class UnitsFound final : public DiscoveryListener {
 public:
  UnitsFound(Output& output, bool eitherMode) : output_(output), eitherMode_(eitherMode) {}
  void NetworkUnitFound(std::uint32_t address, std::uint16_t flags) override {
    const bool inBootload = (flags & kUnitInBootload) != 0;
    if (!inBootload && !eitherMode_) return;
    std::lock_guard guard(mutex_);
    if (seen_.insert(address).second) found_.push_back({address, inBootload});
  }
  void SerialUnitFound(const UnitAddress& /*unit*/, bool /*inBootload*/) override {}
  void NetworkSearchFailed(const SocketFailure& failure) override {
    ReportSocketFailure(output_, failure);  // the calling thread only waits meanwhile
  }
  std::vector<std::pair<std::uint32_t, bool>> Found() const {
    std::lock_guard guard(mutex_);
    return found_;
  }

 private:
  Output& output_;
  bool eitherMode_;
  mutable std::mutex mutex_;
  std::set<std::uint32_t> seen_;
  std::vector<std::pair<std::uint32_t, bool>> found_;  // address, in bootload mode
};

// The units announcing `identity` within `seconds` (in bootload mode unless `eitherMode`), in
// the order they first answered; a search that could not run is told on `output`.
std::vector<std::pair<std::uint32_t, bool>> SearchUnits(std::uint32_t seconds, Output& output,
                                                        std::string_view identity,
                                                        bool eitherMode) {
  auto units = std::make_shared<UnitsFound>(output, eitherMode);
  DiscoveryThread discovery{std::string(identity)};
  discovery.StartDiscovery(units, DiscoverMode::Network);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  discovery.StopDiscovery();
  return units->Found();
}

UnitList AllUnits(const CommandLine& line, Output& output, std::string_view identity,
                  bool eitherMode) {
  std::string error;
  // Every option is checked before the search, which takes seconds.
  if (!RackLimitsFrom(line, error)) return Refused(kExitUsage, error);
  std::uint32_t seconds = kDefaultSearchSeconds;
  if (line.Has("seconds")) {
    const auto value = line.Number("seconds", 1, kMaxSearchSeconds, error);
    if (!value) return Refused(kExitUsage, error);
    seconds = *value;
  }
  std::optional<std::uint32_t> expected;
  if (line.Has("expect")) {
    expected = line.Number("expect", 1, kMaxExpected, error);
    if (!expected) return Refused(kExitUsage, error);
  }
  UnitList list;
  for (const auto& [address, inBootload] : SearchUnits(seconds, output, identity, eitherMode)) {
    list.units.push_back(UnitAddress::Network(address));
    const char* mode = inBootload ? "bootload" : "application";
    if (output.Mode() == OutputMode::Json) {
      output.Event({{"event", "found"}, {"unit", DottedIpv4(address)}, {"mode", mode}});
    } else {
      output.Line("found " + DottedIpv4(address) + " in " + mode + " mode");
    }
  }
  const std::size_t count = list.units.size();
  const std::string which = eitherMode ? "units" : "units in bootload mode";
  if (expected && count != *expected) {
    return Refused(kExitNotFound, "--all found " + std::to_string(count) + " " + which +
                                      ", not the " + std::to_string(*expected) +
                                      " expected; nothing was sent");
  }
  if (count == 0) {
    return Refused(kExitNotFound,
                   eitherMode ? "No unit answered." : "No unit in bootload mode answered.");
  }
  return list;
}

}  // namespace

UnitList ParseUnitsText(std::string_view text, std::string_view source) {
  // Editors on Windows save UTF-8 with a byte-order mark.
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  UnitList list;
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const auto end = text.find('\n');
    std::string_view entry = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    entry = Trimmed(entry.substr(0, entry.find('#')));
    if (entry.empty()) continue;
    const std::string where = std::string(source) + " line " + std::to_string(lineNumber) + ": '" +
                              std::string(entry) + "' ";
    if (LooksLikeAddress(entry)) {
      const auto address = ParseIpv4(entry);
      if (!address) return Refused(kExitUsage, where + "is not an IPv4 address");
      if (const auto why = UnusableAddressReason(*address)) {
        return Refused(kExitUsage,
                       std::string(source) + " line " + std::to_string(lineNumber) + ": " + *why);
      }
      list.units.push_back(UnitAddress::Network(*address));
    } else if (entry.find_first_of(" \t") == std::string_view::npos && LooksLikeDevice(entry)) {
      list.units.push_back(UnitAddress::Serial(std::string(entry)));
    } else {
      return Refused(kExitUsage, where +
                                     "is neither one IPv4 address nor one serial device "
                                     "(/dev/ttyUSB0, COM3); give one unit a line");
    }
  }
  return list;
}

UnitList RefuseDuplicates(UnitList list) {
  std::set<std::string> seen;
  for (const auto& unit : list.units) {
    if (!seen.insert(unit.Canonical()).second) {
      return Refused(kExitUsage,
                     "unit " + unit.Label() + " is named more than once; each unit gets one job");
    }
  }
  return list;
}

UnitList UnitListFrom(const CommandLine& line, Output& output, std::string_view identity,
                      bool eitherMode, UnitsNamedTwice twice) {
  const bool named = line.Has("ip") || line.Has("port") || line.Has("units");
  if (line.Has("all")) {
    if (named)
      return Refused(kExitUsage,
                     "--all finds the units itself: leave out --ip, --port and --units");
    return AllUnits(line, output, identity, eitherMode);
  }
  if (line.Has("seconds") || line.Has("expect")) {
    return Refused(kExitUsage, "--seconds and --expect go with --all");
  }
  if (!named) {
    return Refused(kExitUsage,
                   "name the units with --ip ADDRESS, --port DEVICE, --units FILE or --all");
  }
  UnitList list;
  std::string error;
  for (const auto& ip : line.Values("ip")) {
    const auto address = UnitIpv4(ip, error);
    if (!address) return Refused(kExitUsage, error);
    list.units.push_back(UnitAddress::Network(*address));
  }
  for (const auto& port : line.Values("port")) list.units.push_back(UnitAddress::Serial(port));
  if (const auto file = line.Value("units")) {
    const auto text = ReadUnitsFile(*file, error);
    if (!text) return Refused(kExitNotFound, "cannot read the units file " + *file + ": " + error);
    UnitList fromFile = ParseUnitsText(*text, *file);
    if (fromFile.exitCode != 0) return fromFile;
    for (auto& unit : fromFile.units) list.units.push_back(std::move(unit));
    if (list.units.empty())
      return Refused(kExitUsage, "the units file " + *file + " names no unit");
  }
  return twice == UnitsNamedTwice::Keep ? list : RefuseDuplicates(std::move(list));
}

}  // namespace tessaline::cli
