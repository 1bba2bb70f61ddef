// tessaline-update when its reader goes away, its terminal hangs up or the user presses Ctrl+C,
// against simulated units: each unit ends whole or stopped at a boundary, and its receipt says so.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "receipts/receipt_log.h"
#include "support/cli_program.h"
#include "support/simulated_units.h"

namespace tessaline {
namespace {

using namespace std::chrono_literals;
using Units = std::vector<std::unique_ptr<sim::SimulatedUnit>>;

// Units on `addresses` and the arguments that name them.
std::string StartUnits(Units& units, const std::vector<std::string>& addresses) {
  std::string arguments;
  for (const auto& address : addresses) {
    units.push_back(testing::StartUnit(testing::UdpUnit(address)));
    arguments += " --ip " + address;
  }
  return arguments;
}

// A fresh receipts file's path, and the outcome of each receipt it then holds.
std::string Fresh(const std::string& name) {
  const std::string path = ::testing::TempDir() + "tessaline-signals-" + name;
  std::remove(path.c_str());
  return path;
}
std::vector<std::string> Results(const std::string& receipts) {
  std::vector<std::string> results;
  for (const auto& receipt : receipts::VerifyReceipts(receipts).receipts)
    results.push_back(receipt.outcome.result);
  return results;
}

TEST(Signals, AReaderThatGoesAwayStopsTheOutputNotTheUnits) {
  for (const auto& [addresses, reader] :
       {std::pair{std::vector<std::string>{"127.0.16.1"}, " | head -3"},
        std::pair{std::vector<std::string>{"127.0.16.2", "127.0.16.3"}, " | head -1"}}) {
    Units units;
    // A rack in JSON, as `| jq` reads it.
    const std::string arguments =
        StartUnits(units, addresses) + (addresses.size() > 1 ? " --json" : "");
    const std::string receipts = Fresh("reader.jsonl"), status = Fresh("reader.status");
    // Not 141 (SIGPIPE): the program outlives its reader.
    const std::string command = "{ " + std::string(TESSALINE_CLI_PATH) + " update" + arguments +
                                " --receipt " + receipts + " 2>/dev/null; echo $? >" + status +
                                "; }" + reader + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::stringstream code;
    code << std::ifstream(status).rdbuf();
    EXPECT_EQ(code.str(), "0\n") << arguments;
    for (const auto& unit : units) testing::ExpectHoldsThePackage(*unit);
    EXPECT_EQ(Results(receipts), std::vector<std::string>(addresses.size(), "succeeded"));
  }
}

// Runs the program and sends it `signal` `delay` after it prints a line ending in `line`.
// `sentAt`, when given, is when the signal went.
testing::CliRun SignalAfter(const std::string& arguments, const std::string& line, int signal,
                            std::chrono::milliseconds delay = 0ms,
                            std::chrono::steady_clock::time_point* sentAt = nullptr) {
  bool sent = false;
  return testing::RunCli(arguments, "", [&](const std::string& printed, pid_t pid) {
    if (sent || !printed.ends_with(line + "\n")) return;
    std::this_thread::sleep_for(delay);
    if (sentAt != nullptr) *sentAt = std::chrono::steady_clock::now();
    sent = ::kill(pid, signal) == 0;
  });
}

TEST(Signals, AHangUpFinishesTheUnitBeingWrittenAndAnInterruptStopsItAtABoundary) {
  const struct {
    int signal;
    std::vector<std::string> units;  // one at a time: the first is written, the others wait
    int exitCode;
    const char* result;
  } cases[] = {{SIGHUP, {"127.0.16.11"}, 129, "succeeded"},
               {SIGHUP, {"127.0.16.12", "127.0.16.13"}, 129, "succeeded"},
               {SIGINT, {"127.0.16.14"}, 130, "interrupted"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.units[0]);
    Units units;
    const std::string arguments = "update --parallel 1" + StartUnits(units, c.units);
    const std::string receipts = Fresh("signal.jsonl");
    const auto run = SignalAfter(arguments + " --receipt " + receipts, "Progress: UI", c.signal);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(Results(receipts), std::vector<std::string>{c.result});
    for (std::size_t k = 1; k < units.size(); ++k) EXPECT_TRUE(units[k]->RequestLog().empty());
    // Stopped at a boundary: the same command finishes it.
    if (c.signal == SIGINT) {
      EXPECT_EQ(testing::RunCli(arguments).exitCode, 0);
    }
    testing::ExpectHoldsThePackage(*units[0]);
  }
}

TEST(Signals, CtrlCEndsTheWaitOnASilentUnitWithinTwoSeconds) {
  auto config = testing::UdpUnit("127.0.16.21");
  config.faults.silentAfter = 2;  // answers who it is, then not the erase: a 50 s schedule
  auto unit = testing::StartUnit(config);
  const std::string receipts = Fresh("silent.jsonl");
  std::chrono::steady_clock::time_point pressed;
  const auto run = SignalAfter("update --ip 127.0.16.21 --receipt " + receipts,
                               "Progress: Application", SIGINT, 500ms, &pressed);
  EXPECT_EQ(run.exitCode, 130) << run.err;
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, 2s);
  EXPECT_NE(run.err.find("Press Ctrl+C again to end at once."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Interrupted while writing the application"), std::string::npos);
  EXPECT_EQ(Results(receipts), std::vector<std::string>{"interrupted"});
}

}  // namespace
}  // namespace tessaline
