// tessaline-update with several units at once, against simulated units over UDP and
// pseudo-terminals: outcomes per unit, the failure budget, refusals before anything is sent.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "discovery/network_namespaces.h"
#include "support/cli_program.h"
#include "support/simulated_units.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline {
namespace {

using testing::ExpectHoldsThePackage;
using testing::RunCli;
using testing::StartUnit;
using testing::UdpUnit;
using Units = std::vector<std::unique_ptr<sim::SimulatedUnit>>;

// The closing summary event of a --json run (null when there is none).
nlohmann::json Summary(const testing::CliRun& run) {
  const auto lines = run.OutLines();
  if (lines.empty()) return {};
  auto last = nlohmann::json::parse(lines.back(), nullptr, false);
  return last.is_object() && last.value("event", "") == "summary" ? last : nlohmann::json{};
}

// Each unit's summary entry by its label.
std::map<std::string, nlohmann::json> SummaryByUnit(const nlohmann::json& summary) {
  std::map<std::string, nlohmann::json> units;
  if (!summary.contains("units")) return units;
  for (const auto& entry : summary["units"]) units[entry.value("unit", "")] = entry;
  return units;
}

constexpr int kSomeUnitsFailed = 9;
constexpr int kUsage = 64;
constexpr int kNotFound = 5;
constexpr int kReceiptNotWritten = 13;

// What a terminal of `columns` x `rows` keeps of what it was sent: the screen and the lines
// scrolled off its top. Knows the few controls the live view uses.
class Screen {
 public:
  Screen(std::size_t columns, std::size_t rows) : columns_(columns), screen_(rows) {}

  void Feed(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size(); ++at) {
      const char c = bytes[at];
      if (c == '\x1b' && at + 1 < bytes.size() && bytes[at + 1] == '[') {
        std::size_t end = at + 2;
        while (end < bytes.size() && !std::isalpha(static_cast<unsigned char>(bytes[end]))) ++end;
        if (end == bytes.size()) break;
        const std::string parameter(bytes.substr(at + 2, end - at - 2));
        Control(bytes[end], parameter.empty() ? 0 : std::stoul(parameter));
        at = end;
      } else if (c == '\r') {
        column_ = 0;
      } else if (c == '\n') {
        LineFeed();
      } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
        if (column_ == columns_) {
          column_ = 0;
          LineFeed();
        }
        std::string& line = screen_[row_];
        if (line.size() <= column_) line.resize(column_ + 1, ' ');
        line[column_++] = c;
      }
    }
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines = scrolledOff_;
    lines.insert(lines.end(), screen_.begin(), screen_.end());
    return lines;
  }

 private:
  void Control(char final, std::size_t n) {
    switch (final) {
      case 'F':  // n lines up, to the first column
        row_ -= std::min(row_, std::max<std::size_t>(n, 1));
        column_ = 0;
        break;
      case 'K':
        if (screen_[row_].size() > column_) screen_[row_].resize(column_);
        break;
      case 'J':
        if (screen_[row_].size() > column_) screen_[row_].resize(column_);
        for (std::size_t r = row_ + 1; r < screen_.size(); ++r) screen_[r].clear();
        break;
      default:
        break;
    }
  }
  void LineFeed() {
    if (row_ + 1 < screen_.size()) {
      ++row_;
      return;
    }
    scrolledOff_.push_back(screen_.front());
    screen_.erase(screen_.begin());
    screen_.emplace_back();
  }

  std::size_t columns_;
  std::vector<std::string> screen_;
  std::vector<std::string> scrolledOff_;
  std::size_t row_ = 0;
  std::size_t column_ = 0;
};

// The program with a pseudo-terminal of `columns` x `rows` for its terminal; what it wrote there.
std::string RunOnTerminal(const std::vector<std::string>& arguments, unsigned short columns,
                          unsigned short rows, int& exitCode) {
  winsize size{};
  size.ws_col = columns;
  size.ws_row = rows;
  int master = -1;
  const pid_t child = ::forkpty(&master, nullptr, nullptr, &size);
  if (child == 0) {
    std::vector<char*> argv{const_cast<char*>(TESSALINE_CLI_PATH)};
    for (const auto& word : arguments) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    ::execv(TESSALINE_CLI_PATH, argv.data());
    ::_exit(127);
  }
  std::string seen;
  if (child < 0) return seen;
  char buffer[4096];
  for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;) seen.append(buffer, got);
  ::close(master);
  int status = 0;
  ::waitpid(child, &status, 0);
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return seen;
}

TEST(UpdatingARack, SixUnitsOverUdpEachGetTheirOwnOutcome) {
  Units units;
  std::string arguments = "update --json";
  for (int k = 1; k <= 6; ++k) {
    auto config = UdpUnit("127.0.15." + std::to_string(k));
    if (k == 3) config.faults.silentAfter = 400;  // inside the application's records
    if (k == 5) config.mcuFamily = "GD32";        // a variant this package does not carry
    units.push_back(StartUnit(config));
    arguments += " --ip 127.0.15." + std::to_string(k);
  }
  const auto run = RunCli(arguments);
  EXPECT_EQ(run.exitCode, kSomeUnitsFailed) << run.err;

  for (const auto& line : run.OutLines()) {
    const auto event = nlohmann::json::parse(line, nullptr, false);
    ASSERT_TRUE(event.is_object()) << line;
    if (event["event"] != "summary") {
      EXPECT_TRUE(event.contains("unit")) << line;
    }
  }
  const auto summary = Summary(run);
  ASSERT_TRUE(summary.is_object()) << run.out.substr(run.out.size() - 400);
  EXPECT_EQ(summary["exit_code"], kSomeUnitsFailed);
  auto byUnit = SummaryByUnit(summary);
  ASSERT_EQ(byUnit.size(), 6u) << summary.dump();
  for (const int k : {1, 2, 4, 6}) {
    const std::string label = "127.0.15." + std::to_string(k);
    EXPECT_EQ(byUnit[label]["result"], "succeeded") << byUnit[label].dump();
    EXPECT_EQ(byUnit[label]["exit_code"], 0);
    ExpectHoldsThePackage(*units[k - 1], label);
  }
  EXPECT_EQ(byUnit["127.0.15.3"]["result"], "failed") << byUnit["127.0.15.3"].dump();
  EXPECT_EQ(byUnit["127.0.15.3"]["stage"], "Application");
  EXPECT_EQ(byUnit["127.0.15.3"]["exit_code"], 1);
  EXPECT_FALSE(byUnit["127.0.15.3"].value("reason", "").empty());
  EXPECT_EQ(byUnit["127.0.15.5"]["result"], "wrong-response") << byUnit["127.0.15.5"].dump();
  EXPECT_NE(byUnit["127.0.15.5"].value("reason", "").find("GD32"), std::string::npos);
  EXPECT_EQ(byUnit["127.0.15.5"]["exit_code"], 3);
  // The unit of the other variant was asked who it is and what it runs, and nothing else.
  EXPECT_EQ(units[4]->CommandOrder(), (std::vector<std::uint8_t>{0x01, 0x89}));
}

TEST(UpdatingARack, EachTraceLineBeginsWithItsUnit) {
  Units units;
  std::string arguments = "exit-bootload --trace";
  std::map<std::string, int> framesByUnit;
  for (int k = 21; k <= 22; ++k) {
    const std::string address = "127.0.15." + std::to_string(k);
    units.push_back(StartUnit(UdpUnit(address)));
    arguments += " --ip " + address;
    framesByUnit[address] = 0;
  }
  const auto run = RunCli(arguments);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::istringstream err(run.err);
  for (std::string line; std::getline(err, line);) {
    if (line.find("] -> ") == std::string::npos && line.find("] <- ") == std::string::npos) continue;
    const std::string unit = line.substr(0, line.find(": ["));
    EXPECT_TRUE(framesByUnit.count(unit) == 1) << line;
    ++framesByUnit[unit];
  }
  // Identity request and answer, then the exit command: at least three lines each.
  for (const auto& [unit, frames] : framesByUnit) EXPECT_GE(frames, 3) << unit << "\n" << run.err;
}

TEST(UpdatingARack, NoUnitStartsOnceTheFailureBudgetIsSpent) {
  Units units;
  auto first = UdpUnit("127.0.15.11");
  first.mcuFamily = "GD32";
  units.push_back(StartUnit(first));
  units.push_back(StartUnit(UdpUnit("127.0.15.12")));
  units.push_back(StartUnit(UdpUnit("127.0.15.13")));
  const auto run = RunCli(
      "update --ip 127.0.15.11 --ip 127.0.15.12 --ip 127.0.15.13 --parallel 1 --max-failures 1");
  EXPECT_EQ(run.exitCode, kSomeUnitsFailed) << run.err;
  EXPECT_TRUE(units[1]->RequestLog().empty());
  EXPECT_TRUE(units[2]->RequestLog().empty());
  // Plain lines each begin with their unit until the summary table; the table reports both
  // unstarted units as skipped.
  const auto lines = run.OutLines();
  std::size_t line = 0;
  for (; line < lines.size() && !lines[line].empty(); ++line) {
    EXPECT_EQ(lines[line].rfind("127.0.15.1", 0), 0u) << lines[line];
  }
  std::size_t skipped = 0;
  for (; line < lines.size(); ++line) {
    if (lines[line].find("skipped") != std::string::npos) {
      EXPECT_TRUE(lines[line].rfind("127.0.15.12", 0) == 0 ||
                  lines[line].rfind("127.0.15.13", 0) == 0)
          << lines[line];
      ++skipped;
    }
  }
  EXPECT_EQ(skipped, 2u) << run.out;
}

TEST(UpdatingARack, RefusesBeforeAnythingIsSent) {
  auto unit = StartUnit(UdpUnit("127.0.15.21"));
  sim::UnitConfig serialConfig;
  serialConfig.serialLink = ::testing::TempDir() + "rack-unit-link-" + std::to_string(::getpid());
  auto serial = StartUnit(serialConfig);
  const std::string scratch = ::testing::TempDir() + "rack-" + std::to_string(::getpid());
  const auto file = [&scratch](const std::string& name, const std::string& text) {
    std::ofstream(scratch + name, std::ios::binary) << text;
    return scratch + name;
  };
  const std::string spelled =
      file("units.txt", "# the rack\n\n127.0.15.22\n127.0.15.021   # spelled with a zero\n");
  const std::string marked = file("bom.txt", "\xEF\xBB\xBF" "127.0.15.21\n");
  const std::string twoOnALine = file("two.txt", "127.0.15.22\n127.0.15.23 127.0.15.24\n");
  const std::string zero = file("zero.txt", "0.0.0.0\n");
  const std::string halfLine = file("half.jsonl", "{\"time\"");

  struct Case {
    const char* what;
    std::string arguments;
    int exitCode;
    const char* said;  // in the refusal
  };
  const Case cases[] = {
      {"one address twice", "--ip 127.0.15.21 --ip 127.0.15.21", kUsage, "more than once"},
      {"one address spelled two ways", "--ip 127.0.15.21 --units " + spelled, kUsage,
       "more than once"},
      {"a device and a link to it",
       "--port " + serial->SerialPath() + " --port " + serialConfig.serialLink, kUsage,
       "more than once"},
      // The byte-order mark is skipped: the first line is the address named again.
      {"a units file with a byte-order mark", "--ip 127.0.15.21 --units " + marked, kUsage,
       "more than once"},
      {"two addresses on one line", "--units " + twoOnALine, kUsage, "two.txt line 2"},
      {"a units file naming 0.0.0.0", "--units " + zero, kUsage, "zero.txt line 1: 0.0.0.0"},
      {"--ip 127.0.0.1", "--ip 127.0.0.1 --ip 127.0.15.21", kUsage, "this computer"},
      {"--ip 255.255.255.255", "--ip 255.255.255.255", kUsage, "broadcast"},
      {"a folder as units file", "--units " + ::testing::TempDir(), kNotFound, "units file"},
      {"a missing units file", "--units " + scratch + "absent.txt", kNotFound, "absent.txt"},
      {"--all with a unit named", "--all --ip 127.0.15.21", kUsage, "--all"},
      {"--parallel 0", "--ip 127.0.15.21 --ip 127.0.15.22 --parallel 0", kUsage, "--parallel"},
      {"a receipt in a missing folder", "--ip 127.0.15.21 --receipt " + scratch + "/no/r.jsonl",
       kReceiptNotWritten, "does not exist"},
      {"a receipts file ending in half a line", "--ip 127.0.15.21 --receipt " + halfLine,
       kReceiptNotWritten, "incomplete"},
  };
  for (const auto& c : cases) {
    const auto run = RunCli("update " + c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.out << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << c.what << "\n" << run.err;
  }
  EXPECT_TRUE(unit->RequestLog().empty());
  EXPECT_TRUE(serial->RequestLog().empty());
  for (const char* name : {"units.txt", "bom.txt", "two.txt", "zero.txt", "half.jsonl"}) {
    std::remove((scratch + name).c_str());
  }
}

TEST(UpdatingARack, AllTakesTheUnitsFoundOnlyWhenTheirNumberIsTheOneExpected) {
  testing::NamespacePair net;
  if (!net.Ready()) {
    GTEST_SKIP() << "network namespaces cannot be made here (needs root, iproute2 and veth)";
  }
  ASSERT_TRUE(net.AddUpdaterAddress("192.0.2.1/24"));
  ASSERT_TRUE(net.AddUnitAddress("192.0.2.2/24"));
  ASSERT_TRUE(net.AddUnitAddress("192.0.2.3/24"));
  Units units;
  ASSERT_TRUE(testing::NamespacePair::RunInside(net.Units(), [&] {
    for (const char* address : {"192.0.2.2", "192.0.2.3"}) {
      auto config = UdpUnit(address);
      config.discoveryAddress = address;
      units.push_back(StartUnit(config));
    }
  }));
  const std::string inside = "ip netns exec " + net.Updater() + " ";

  // A bad option is told before the search, not after it.
  const auto badParallel = RunCli("update --all --seconds 3 --parallel 0", inside);
  EXPECT_EQ(badParallel.exitCode, kUsage) << badParallel.out << badParallel.err;
  EXPECT_EQ(badParallel.out.find("found"), std::string::npos) << badParallel.out;

  const auto refused = RunCli("update --all --seconds 3 --expect 3", inside);
  EXPECT_EQ(refused.exitCode, kNotFound) << refused.out << refused.err;
  EXPECT_NE(refused.out.find("192.0.2.2"), std::string::npos) << "lists the units it found";
  EXPECT_NE(refused.out.find("192.0.2.3"), std::string::npos);
  for (const auto& unit : units) EXPECT_TRUE(unit->CommandOrder().empty());

  const auto run = RunCli("update --all --seconds 3 --expect 2 --json", inside);
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(Summary(run).value("succeeded", 0), 2) << run.err;
  for (const auto& unit : units) ExpectHoldsThePackage(*unit, "found unit");
}

TEST(UpdatingARack, OneInterruptStopsEveryRunningUnitAndStartsNoOther) {
  Units units;
  std::string arguments = "update --json --parallel 2";
  for (int k = 1; k <= 4; ++k) {
    auto config = UdpUnit("127.0.15." + std::to_string(30 + k));
    config.eraseDelayMs = 1500;  // the first two are surely still running when the signal comes
    units.push_back(StartUnit(config));
    arguments += " --ip 127.0.15." + std::to_string(30 + k);
  }
  // A background job of a script ignores SIGINT; SIGTERM takes the same path as Ctrl+C.
  const auto run = RunCli(arguments + " & pid=$!; sleep 1; kill -TERM $pid; wait $pid");
  EXPECT_EQ(run.exitCode, 130) << run.err;
  const auto summary = Summary(run);
  EXPECT_EQ(summary.value("interrupted", false), true) << summary.dump();
  auto byUnit = SummaryByUnit(summary);
  for (const int k : {31, 32}) {
    const auto& entry = byUnit["127.0.15." + std::to_string(k)];
    EXPECT_EQ(entry.value("result", ""), "interrupted") << entry.dump();
    EXPECT_EQ(entry.value("stage", ""), "Application") << entry.dump();
  }
  for (const int k : {33, 34}) {
    EXPECT_EQ(byUnit["127.0.15." + std::to_string(k)].value("result", ""), "skipped");
    EXPECT_TRUE(units[k - 31]->RequestLog().empty());
  }
  // A skipped unit's own result event carries its exit code, as the summary does.
  std::size_t skippedEvents = 0;
  for (const auto& line : run.OutLines()) {
    const auto event = nlohmann::json::parse(line, nullptr, false);
    if (!event.is_object() || event.value("result", "") != "skipped") continue;
    EXPECT_EQ(event.value("exit_code", 0), 130) << line;
    ++skippedEvents;
  }
  EXPECT_EQ(skippedEvents, 2u);
}

TEST(UpdatingARack, MoreUnitsThanTerminalRowsGetACompactViewThatNeverScrolls) {
  Units units;
  std::vector<std::string> arguments{"update", "--no-firmware", "--factory-defaults",
                                     "--parallel", "6"};
  std::vector<std::string> labels;
  for (int k = 1; k <= 30; ++k) {
    labels.push_back("127.0.16." + std::to_string(k));
    units.push_back(StartUnit(UdpUnit(labels.back())));
    arguments.insert(arguments.end(), {"--ip", labels.back()});
  }
  int exitCode = -1;
  const std::string written = RunOnTerminal(arguments, 80, 24, exitCode);
  EXPECT_EQ(exitCode, 0) << written;
  Screen screen(80, 24);
  screen.Feed(written);
  // Live views overwritten in place leave nothing behind: the one view left and the summary
  // table, which names every unit once.
  std::map<std::string, int> named;
  int views = 0;
  for (const auto& line : screen.Lines()) {
    ++named[line.substr(0, line.find(' '))];
    if (line.rfind("30 units:", 0) == 0) ++views;
  }
  for (const auto& label : labels) EXPECT_EQ(named[label], 1) << label << "\n" << written;
  EXPECT_EQ(views, 1) << written;
}

TEST(UpdatingARack, TwoSerialLinesAtOnce) {
  Units units;
  std::string arguments = "update --json";
  for (int k = 0; k < 2; ++k) {
    sim::UnitConfig config;
    config.serial = true;
    units.push_back(StartUnit(config));
    arguments += " --port " + units.back()->SerialPath();
  }
  const auto run = RunCli(arguments);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Summary(run).value("succeeded", 0), 2) << run.err;
  for (const auto& unit : units) ExpectHoldsThePackage(*unit, unit->SerialPath());
}

}  // namespace
}  // namespace tessaline
