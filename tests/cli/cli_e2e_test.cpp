// tessaline-update against simulated units: exit codes, JSON events, texts and the version guard.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "package/package_globals.h"
#include "platform/digest.h"
#include "platform/module_resources.h"
#include "receipts/receipt_log.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline {
namespace {

using Codes = std::vector<std::uint8_t>;

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::vector<std::string> OutLines() const {
    std::vector<std::string> lines;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
  }
};

CliRun RunCli(const std::string& arguments) {
  const std::string errPath = ::testing::TempDir() + "tessaline-cli-stderr.txt";
  const std::string command =
      std::string(TESSALINE_CLI_PATH) + " " + arguments + " 2>" + errPath + " </dev/null";
  CliRun run;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errPath);
  run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  std::remove(errPath.c_str());
  return run;
}

std::unique_ptr<sim::SimulatedUnit> StartUnit(sim::UnitConfig config) {
  auto unit = std::make_unique<sim::SimulatedUnit>(std::move(config));
  std::string error;
  EXPECT_TRUE(unit->Start(&error)) << error;
  return unit;
}

sim::UnitConfig UdpUnit(const std::string& address) {
  sim::UnitConfig config;
  config.udpAddress = address;
  return config;
}

constexpr std::string_view kReceiptKey = ",\"receipt\":";

// The JSON event lines naming `event`; a result event without the receipt it carries.
std::vector<std::string> Events(const CliRun& run, const std::string& event) {
  std::vector<std::string> found;
  for (auto line : run.OutLines()) {
    if (line.rfind("{\"event\":\"" + event + "\"", 0) != 0) continue;
    if (const auto at = line.find(kReceiptKey); at != std::string::npos)
      line.replace(at, line.npos, "}");
    found.push_back(line);
  }
  return found;
}

// The receipt object of the run's JSON result event.
std::optional<receipts::Receipt> ResultReceipt(const CliRun& run) {
  for (const auto& line : run.OutLines()) {
    const auto at = line.find(kReceiptKey);
    if (line.rfind("{\"event\":\"result\"", 0) != 0 || at == std::string::npos) continue;
    const std::string object =
        line.substr(at + kReceiptKey.size(), line.size() - at - kReceiptKey.size() - 1);
    std::string why;
    auto receipt = receipts::ParseReceiptLine(object, why);
    EXPECT_TRUE(receipt.has_value()) << why << "\n" << object;
    return receipt;
  }
  return std::nullopt;
}

// A started program whose stdout is read line by line while it runs.
class RunningCli {
 public:
  explicit RunningCli(const std::string& arguments) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], STDOUT_FILENO);
      ::close(fds[0]);
      ::close(fds[1]);
      const std::string command = "exec " + std::string(TESSALINE_CLI_PATH) + " " + arguments +
                                  " 2>" + ErrPath() + " </dev/null";
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    out_ = ::fdopen(fds[0], "r");
  }
  ~RunningCli() {
    if (out_ != nullptr) std::fclose(out_);
    std::remove(ErrPath().c_str());
  }
  // Reads stdout until a line holds `text`; false at its end.
  bool WaitForLine(const std::string& text) {
    char line[4096];
    while (out_ != nullptr && std::fgets(line, sizeof line, out_) != nullptr) {
      run_.out += line;
      if (std::string_view(line).find(text) != std::string_view::npos) return true;
    }
    return false;
  }
  void Signal(int number) { ::kill(pid_, number); }
  CliRun Finish() {
    WaitForLine("\x01");  // the rest of stdout
    int status = 0;
    ::waitpid(pid_, &status, 0);
    run_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(ErrPath());
    run_.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return run_;
  }

 private:
  static std::string ErrPath() { return ::testing::TempDir() + "tessaline-cli-running-stderr.txt"; }
  pid_t pid_ = -1;
  std::FILE* out_ = nullptr;
  CliRun run_;
};

// SHA-256 of the package's application records back to back, and of its flash data.
std::string PackageApplicationSha256() {
  CHexManager image;
  EXPECT_TRUE(image.LoadHexResource("APPLICATION_STM32_ADAU1452"));
  platform::Sha256 digest;
  std::uint8_t record[kMaxHexRecordBytes];
  for (std::uint16_t n; (n = image.NextRecord(record, sizeof record)) != 0;) {
    digest.Update(std::span<const std::uint8_t>(record, n));
  }
  return platform::LowerHex(*digest.Finish());
}
std::string PackageFlashDataSha256() {
  CBinManager image;
  EXPECT_TRUE(image.LoadFromResource("FLASH_STM32_ADAU1452"));
  return platform::Sha256Hex(image.Bytes());
}

std::string ResourceText(std::string_view type, std::string_view name) {
  const auto bytes = platform::FindModuleResource(type, name);
  if (!bytes) return {};
  return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

std::string ScratchPath(const std::string& name) {
  const std::string path = ::testing::TempDir() + name;
  std::remove(path.c_str());
  return path;
}

class CommandLineProgram : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadPackageProperties(); }
};

TEST_F(CommandLineProgram, UpdateReportsStagesProgressAndResultAsJson) {
  auto unit = StartUnit(UdpUnit("127.0.11.1"));  // application 1.1, package V1.2
  const auto run = RunCli("update --ip 127.0.11.1 --factory-defaults --json");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const auto& line : run.OutLines()) {
    EXPECT_TRUE(line.front() == '{' && line.back() == '}') << line;
  }
  const auto stages = Events(run, "stage");
  ASSERT_EQ(stages.size(), 4u);
  EXPECT_EQ(stages[0],
            R"({"event":"stage","stage":"Initializing","text":"Progress: Initializing"})");
  EXPECT_EQ(stages[1], R"({"event":"stage","stage":"Application","text":"Progress: Application"})");
  EXPECT_EQ(stages[2], R"({"event":"stage","stage":"UI","text":"Progress: UI"})");
  EXPECT_EQ(stages[3],
            R"({"event":"stage","stage":"Factory Defaults","text":"Progress: Factory Defaults"})");
  EXPECT_EQ(Events(run, "range"),
            (std::vector<std::string>{R"({"event":"range","total":672534})"}));
  const auto progress = Events(run, "progress");
  ASSERT_EQ(progress.size(), 1952u + 10265u + 1u);
  EXPECT_EQ(progress.back(),
            R"({"event":"progress","stage":"Factory Defaults","position":672534,"total":672534})");
  EXPECT_EQ(
      Events(run, "result"),
      (std::vector<std::string>{
          R"({"event":"result","result":"succeeded","text":"The firmware updated successfully.","exit_code":0})"}));
  EXPECT_TRUE(unit->FactoryDefaultsRestored());
  EXPECT_TRUE(unit->UpdateFinished());
}

TEST_F(CommandLineProgram, ExitCodesTellTheOutcome) {
  struct Case {
    const char* what;
    sim::UnitConfig unit;
    std::string arguments;
    int exitCode;
    std::string text;  // on stderr (failures) or stdout (success)
    Codes order;
  };
  auto same = UdpUnit("127.0.11.2");
  same.applicationVersion = 0x00010002;
  auto newer = UdpUnit("127.0.11.3");
  newer.applicationVersion = 0x00020000;
  auto silent = UdpUnit("127.0.11.4");
  silent.mode = sim::UnitMode::Application;
  auto gd32 = UdpUnit("127.0.11.5");
  gd32.mcuFamily = "GD32";
  const Case cases[] = {
      {"same version: written again",
       same,
       "update --ip 127.0.11.2",
       0,
       "The firmware updated successfully.\n",
       {}},
      {"newer version",
       newer,
       "update --ip 127.0.11.3",
       4,
       "The unit already runs application version 2.0, newer than this package's (V1.2). "
       "Nothing was erased; use --force to update anyway.\n",
       {0x01, 0x89}},
      {"guard off without firmware",
       newer,
       "update --ip 127.0.11.3 --no-firmware --factory-defaults",
       0,
       "The firmware updated successfully.\n",
       {0x01, 0x89, 0x8C, 0x84}},
      {"silent",
       silent,
       "update --ip 127.0.11.4",
       2,
       UpdaterProperties().GetString("error-message.NoResponse") + "\n",
       {}},
      {"GD32",
       gd32,
       "update --ip 127.0.11.5",
       3,
       UpdaterProperties().GetString("error-message.WrongResponse") + "\n",
       {0x01, 0x89}},
      {"exit bootload",
       UdpUnit("127.0.11.7"),
       "exit-bootload --ip 127.0.11.7",
       0,
       "Bootload mode exited.\n",
       {0x01, 0x8B}},
  };
  for (const auto& c : cases) {
    auto unit = StartUnit(c.unit);
    const auto run = RunCli(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.err;
    const std::string& stream = c.exitCode == 0 ? run.out : run.err;
    ASSERT_GE(stream.size(), c.text.size()) << c.what;
    EXPECT_EQ(stream.substr(stream.size() - c.text.size()), c.text) << c.what;
    if (!c.order.empty()) {
      EXPECT_EQ(unit->CommandOrder(), c.order) << c.what;
    }
  }
}

TEST_F(CommandLineProgram, AFailedStepExitsWithUpdateFailed) {
  auto config = UdpUnit("127.0.11.8");
  config.faults.refuseCommand = 0x05;  // the flash data erase
  config.faults.refuseNth = 1;
  auto unit = StartUnit(config);
  const auto run = RunCli("update --ip 127.0.11.8 --json");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(
      Events(run, "result"),
      (std::vector<std::string>{
          R"({"event":"result","result":"failed","text":"The firmware update could not complete.","exit_code":1})"}));
  EXPECT_FALSE(unit->UpdateFinished());
}

TEST_F(CommandLineProgram, ForceUpdatesAUnitThatRunsThisBuild) {
  auto config = UdpUnit("127.0.11.9");
  config.applicationVersion = 0x00010002;
  auto unit = StartUnit(config);
  const auto run = RunCli("update --ip 127.0.11.9 --force");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // Not a terminal: plain lines.
  EXPECT_NE(run.out.find("Progress: Application\n"), std::string::npos);
  EXPECT_NE(run.out.find("Application: 100% (15613 of 15613)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("UI: 100% (656911 of 656911)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("The firmware updated successfully.\n"), std::string::npos);
  EXPECT_TRUE(unit->UpdateFinished());
}

TEST_F(CommandLineProgram, AReceiptRecordsWhatWasWrittenAndReadBack) {
  auto unit = StartUnit(UdpUnit("127.0.11.20"));  // application 1.1
  const std::string path = ScratchPath("tessaline-cli-receipts.jsonl");
  const auto run = RunCli("update --ip 127.0.11.20 --factory-defaults --json --receipt " + path);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const Codes order = unit->CommandOrder();
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(Codes(order.end() - 4, order.end()), (Codes{0x87, 0x8C, 0x89, 0x84}));

  const auto check = receipts::VerifyReceipts(path);
  ASSERT_EQ(check.state, receipts::ReceiptLogState::Valid) << check.problem;
  ASSERT_EQ(check.receipts.size(), 1u);
  const receipts::Receipt& receipt = check.receipts[0];
  EXPECT_EQ(receipt.unit, "127.0.11.20");
  EXPECT_EQ(receipt.variant, "STM32_ADAU1452");
  EXPECT_EQ(receipt.applicationVersionBefore, "1.1");
  EXPECT_EQ(receipt.applicationVersionAfter, "1.2");
  EXPECT_EQ(receipt.applicationSha256, PackageApplicationSha256());
  EXPECT_EQ(receipt.flashDataSha256, PackageFlashDataSha256());
  EXPECT_EQ(receipt.outcome.result, "succeeded");
  // The JSON result event carries the same facts.
  const auto carried = ResultReceipt(run);
  ASSERT_TRUE(carried.has_value());
  EXPECT_EQ(carried->flashDataSha256, receipt.flashDataSha256);
  EXPECT_EQ(carried->applicationVersionAfter, "1.2");
  EXPECT_EQ(carried->stages.size(), receipt.stages.size());

  // Two more updates of the same unit (it now reports the package's version) extend the chain.
  for (int i = 0; i < 2; ++i) {
    unit->SetMode(sim::UnitMode::Bootloader);  // the final command reset it into its application
    EXPECT_EQ(RunCli("update --ip 127.0.11.20 --receipt " + path).exitCode, 0);
  }
  const auto three = receipts::VerifyReceipts(path);
  EXPECT_EQ(three.state, receipts::ReceiptLogState::Valid) << three.problem;
  EXPECT_EQ(three.receipts.size(), 3u);
  std::remove(path.c_str());
}

TEST_F(CommandLineProgram, TheReadBackDecidesWhetherTheFinalCommandIsSent) {
  struct Case {
    const char* what;
    std::string address;
    bool stale;
    std::string options;
    int exitCode;
    std::string text;
    bool finalSent;
  };
  const Case cases[] = {
      {"stale version", "127.0.11.21", true, "", 7,
       "Written, but the unit reports version 1.1 instead of 1.2. The final command was not "
       "sent: the unit stays in bootload mode for another try.\n",
       false},
      {"stale version, no read-back", "127.0.11.22", true, "--no-verify", 0,
       "The firmware updated successfully.\n", true},
  };
  for (const auto& c : cases) {
    auto config = UdpUnit(c.address);
    config.staleVersion = c.stale;
    auto unit = StartUnit(config);
    const auto run = RunCli("update --ip " + c.address + " " + c.options);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.err;
    const std::string& stream = c.exitCode == 0 ? run.out : run.err;
    ASSERT_GE(stream.size(), c.text.size()) << c.what;
    EXPECT_EQ(stream.substr(stream.size() - c.text.size()), c.text) << c.what;
    const Codes order = unit->CommandOrder();
    EXPECT_EQ(std::count(order.begin(), order.end(), 0x84), c.finalSent ? 1 : 0) << c.what;
    EXPECT_EQ(std::count(order.begin(), order.end(), 0x89), c.options.empty() ? 2 : 1) << c.what;
  }
}

TEST_F(CommandLineProgram, AnInterruptedUpdateIsFinishedByRunningItAgain) {
  auto config = UdpUnit("127.0.11.23");
  config.eraseDelayMs = 1000;  // the interrupt arrives while the flash data area is erased
  auto unit = StartUnit(config);
  const std::string arguments = "update --ip 127.0.11.23 --factory-defaults";
  RunningCli first(arguments);
  ASSERT_TRUE(first.WaitForLine("Progress: UI"));
  first.Signal(SIGINT);
  const CliRun stopped = first.Finish();
  EXPECT_EQ(stopped.exitCode, 130) << stopped.err;
  EXPECT_NE(stopped.err.find("Interrupted while writing the flash data: the unit stays in "
                             "bootload mode without complete firmware; run the same command "
                             "again to finish.\n"),
            std::string::npos)
      << stopped.err;
  EXPECT_FALSE(unit->UpdateFinished());
  EXPECT_EQ(unit->CommandOrder().back(), 0x85);  // stopped at the boundary after the erase

  // The application is written, so the unit reports the package's version: the guard lets the
  // same command finish the update.
  const auto again = RunCli(arguments);
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_NE(again.out.find("The unit reports this package's version; writing it again completes "
                           "any earlier interrupted update.\n"),
            std::string::npos)
      << again.out;
  const auto expected = sim::DecodeIntelHex(ResourceText("HEX", "APPLICATION_STM32_ADAU1452"));
  ASSERT_TRUE(expected.has_value());
  EXPECT_TRUE(unit->ApplicationMemory() == expected->bytes);
  CBinManager flashData;
  ASSERT_TRUE(flashData.LoadFromResource("FLASH_STM32_ADAU1452"));
  EXPECT_TRUE(unit->FlashData() ==
              std::vector<std::uint8_t>(flashData.Bytes().begin(), flashData.Bytes().end()));
  EXPECT_TRUE(unit->UpdateFinished());
}

TEST_F(CommandLineProgram, ConfirmRunningWaitsForTheApplicationToAnswer) {
  struct Case {
    const char* what;
    bool textPort;
    int exitCode;
    std::string result;
  };
  const Case cases[] = {
      {"comes back", true, 0, R"("result":"running")"},
      {"never answers", false, 10, R"("result":"not-confirmed")"},
  };
  for (const auto& c : cases) {
    auto config = UdpUnit("127.0.11.24");
    if (c.textPort) config.tcpText = "127.0.11.24:0";
    auto unit = StartUnit(config);
    const std::string port = c.textPort ? std::to_string(unit->TextPort()) : "4999";
    const auto run = RunCli(
        "update --ip 127.0.11.24 --no-firmware --confirm-running=2 "
        "--parser-port " +
        port + " --json");
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.err;
    const auto results = Events(run, "result");
    ASSERT_EQ(results.size(), 1u) << c.what;
    EXPECT_NE(results[0].find(c.result), std::string::npos) << results[0];
    const auto receipt = ResultReceipt(run);
    ASSERT_TRUE(receipt && receipt->confirmation) << c.what;
    EXPECT_EQ(receipt->confirmation->running, c.textPort) << c.what;
    EXPECT_EQ(receipt->confirmation->limitSeconds, 2u) << c.what;
  }
}

TEST_F(CommandLineProgram, TraceShowsEveryFrameBothWays) {
  auto unit = StartUnit(UdpUnit("127.0.11.10"));
  const auto run = RunCli("exit-bootload --ip 127.0.11.10 --trace");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The plain identity request, and the unit's answer.
  EXPECT_NE(run.err.find("] ->    7: 01 10 01 21 10 10 04\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("] <- "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("] ->   10: 01 8B 00 00 00"), std::string::npos) << run.err;
}

TEST_F(CommandLineProgram, ReachesAUnitOnASerialPort) {
  sim::UnitConfig config;
  config.serial = true;
  auto unit = StartUnit(config);
  const auto run = RunCli("exit-bootload --json --port " + unit->SerialPath());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(
      Events(run, "result"),
      (std::vector<std::string>{
          R"({"event":"result","result":"bootload-exited","text":"Bootload mode exited.","exit_code":0})"}));
  EXPECT_EQ(unit->CommandOrder(), (Codes{0x01, 0x8B}));
}

TEST_F(CommandLineProgram, UsageErrorsExitWith64) {
  const char* cases[] = {
      "",
      "upgrade --ip 127.0.0.2",
      "update",
      "update --ip 127.0.0.2 --port /dev/null",
      "update --ip 300.1.1.1",
      "update --ip 127.0.0.2 --speed 3",
      "exit-bootload --ip 127.0.0.2 --force",
  };
  for (const char* arguments : cases) {
    const auto run = RunCli(arguments);
    EXPECT_EQ(run.exitCode, 64) << arguments;
    EXPECT_FALSE(run.err.empty()) << arguments;
  }
}

}  // namespace
}  // namespace tessaline
