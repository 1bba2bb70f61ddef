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
#include "discovery/unit_lines.h"
#include "platform/locked_file.h"

namespace tessaline::cli {

namespace {

constexpr std::uint32_t kDefaultSearchSeconds = 5;
constexpr std::uint32_t kMaxSearchSeconds = 3600;
constexpr std::uint32_t kMaxExpected = 1024;
// A units file is a few lines a unit; anything far larger was named by mistake.
constexpr std::size_t kLongestUnitsFileBytes = std::size_t{1} << 20;

UnitList Refused(int exitCode, std::string error) {
  UnitList list;
  list.exitCode = exitCode;
  list.error = std::move(error);
  return list;
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
  UnitList list;
  for (UnitLine& line : ReadUnitLines(text)) {
    const std::string where = std::string(source) + " line " + std::to_string(line.number) + ": ";
    switch (line.fault) {
      case UnitLineFault::None:
        // A unit named twice stays: the caller refuses it, or shows it in a plan.
        list.units.push_back(std::move(*line.unit));
        break;
      case UnitLineFault::NotAnAddress:
        return Refused(kExitUsage, where + "'" + line.text + "' is not an IPv4 address");
      case UnitLineFault::RefusedAddress:
        return Refused(kExitUsage,
                       where + RefusedAddressText(*ParseIpv4(line.text), *line.refusal));
      case UnitLineFault::NotAUnit:
        return Refused(kExitUsage, where + "'" + line.text +
                                       "' is neither one IPv4 address nor one serial device "
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
