// tessaline-update when its reader goes away, its terminal hangs up or the user presses Ctrl+C,
// against simulated units: every unit ends whole or stopped at a boundary, and its receipt says
// which.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "receipts/receipt_log.h"
#include "support/cli_program.h"
#include "support/simulated_units.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline {
namespace {

using namespace std::chrono_literals;
using testing::ExpectHoldsThePackage;
using testing::RunCli;
using testing::StartUnit;
using testing::UdpUnit;

std::string TempPath(const std::string& name) {
  const std::string path = ::testing::TempDir() + "tessaline-signals-" + name;
  std::remove(path.c_str());
  return path;
}

std::string FileText(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The outcome word of each receipt in the file, in order; empty when the chain does not hold.
std::vector<std::string> ReceiptResults(const std::string& path) {
  const auto check = receipts::VerifyReceipts(path);
  std::vector<std::string> results;
  if (check.state != receipts::ReceiptLogState::Valid) return results;
  for (const auto& receipt : check.receipts) results.push_back(receipt.outcome.result);
  return results;
}

TEST(Signals, AReaderThatGoesAwayStopsTheOutputNotTheUnits) {
  const struct {
    const char* name;
    std::vector<std::string> units;
    const char* options;
    const char* reader;  // takes a few lines, then exits
  } cases[] = {
      {"one unit, plain lines", {"127.0.16.1"}, "", "head -3"},
      {"a rack, JSON", {"127.0.16.2", "127.0.16.3"}, " --json", "head -1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::unique_ptr<sim::SimulatedUnit>> units;
    std::string arguments = "update --factory-defaults";
    for (const auto& address : c.units) {
      units.push_back(StartUnit(UdpUnit(address)));
      arguments += " --ip " + address;
    }
    const std::string receipts = TempPath("reader-gone.jsonl");
    const std::string status = TempPath("reader-gone.status");
    const std::string err = TempPath("reader-gone.err");
    const std::string command = "{ " + std::string(TESSALINE_CLI_PATH) + " " + arguments +
                                c.options + " --receipt " + receipts + " 2>" + err +
                                " </dev/null; echo $? >" + status + "; } | " + c.reader +
                                " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // Not 141: the program outlived its reader and finished every unit.
    EXPECT_EQ(FileText(status), "0\n") << FileText(err);
    for (const auto& unit : units) ExpectHoldsThePackage(*unit);
    EXPECT_EQ(ReceiptResults(receipts), std::vector<std::string>(c.units.size(), "succeeded"));
  }
}

TEST(Signals, AHangUpFinishesTheUnitsBeingWrittenAndAnInterruptStopsThemAtABoundary) {
  const struct {
    const char* name;
    int signal;
    std::vector<std::string> units;  // with --parallel 1: the first runs, the others wait
    int exitCode;
    const char* result;  // of the first unit's receipt
  } cases[] = {
      {"hang-up, one unit", SIGHUP, {"127.0.16.11"}, 129, "succeeded"},
      {"hang-up, a rack", SIGHUP, {"127.0.16.12", "127.0.16.13"}, 129, "succeeded"},
      {"interrupt, one unit", SIGINT, {"127.0.16.14"}, 130, "interrupted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::unique_ptr<sim::SimulatedUnit>> units;
    std::string arguments = "update --factory-defaults --parallel 1";
    for (const auto& address : c.units) {
      units.push_back(StartUnit(UdpUnit(address)));
      arguments += " --ip " + address;
    }
    const std::string receipts = TempPath("signal.jsonl");
    bool sent = false;
    const auto run =
        RunCli(arguments + " --receipt " + receipts, "", [&](const std::string& line, pid_t pid) {
          if (!sent && line.ends_with("Progress: UI\n")) {
            sent = true;
            ::kill(pid, c.signal);
          }
        });
    ASSERT_TRUE(sent) << run.out;
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(ReceiptResults(receipts), std::vector<std::string>{c.result});
    // Only the unit already being written was touched.
    for (std::size_t k = 1; k < units.size(); ++k) EXPECT_TRUE(units[k]->RequestLog().empty());
    if (c.signal == SIGINT) {
      // Stopped at a boundary: the same command finishes it.
      EXPECT_EQ(RunCli("update --factory-defaults --ip " + c.units[0]).exitCode, 0);
    }
    ExpectHoldsThePackage(*units[0]);
  }
}

// A second Ctrl+C, which ends the program at once, is tested with the interrupt scope: here the
// first one already ends the run before a second could arrive.
TEST(Signals, CtrlCEndsTheWaitOnASilentUnitWithinTwoSeconds) {
  auto config = UdpUnit("127.0.16.21");
  config.faults.silentAfter = 12;  // a few record batches into the application
  auto unit = StartUnit(config);
  const std::string receipts = TempPath("silent.jsonl");
  std::chrono::steady_clock::time_point pressed;
  std::thread presser;
  const auto run = RunCli("update --ip 127.0.16.21 --receipt " + receipts, "",
                          [&](const std::string& line, pid_t pid) {
                            if (line != "Progress: Application\n") return;
                            presser = std::thread([&, pid] {
                              while (unit->Faults().silenced == 0)
                                std::this_thread::sleep_for(10ms);
                              pressed = std::chrono::steady_clock::now();
                              ::kill(pid, SIGINT);
                            });
                          });
  const auto ended = std::chrono::steady_clock::now();
  ASSERT_TRUE(presser.joinable()) << run.out;
  presser.join();
  EXPECT_EQ(run.exitCode, 130) << run.err;
  // Without the stop reaching the wait, the 1 s schedule of five sends runs on for 5 s.
  EXPECT_LT(ended - pressed, 2s);
  EXPECT_NE(run.err.find("Press Ctrl+C again to end at once."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Interrupted while writing the application"), std::string::npos)
      << run.err;
  EXPECT_EQ(ReceiptResults(receipts), std::vector<std::string>{"interrupted"});
}

}  // namespace
}  // namespace tessaline
