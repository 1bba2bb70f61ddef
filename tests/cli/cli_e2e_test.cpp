// tessaline-update against simulated units: exit codes, JSON events, texts and the version guard.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "package/hex_manager.h"
#include "package/package.h"
#include "platform/digest.h"
#include "receipts/receipt_log.h"
#include "support/cli_program.h"
#include "support/simulated_units.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline {
namespace {

using testing::CliRun;
using testing::ResourceBytes;
using testing::RunCli;
using testing::StartUnit;
using testing::UdpUnit;
using Codes = std::vector<std::uint8_t>;

// The JSON event lines naming `event`; a result event without the receipt it carries.
std::vector<std::string> Events(const CliRun& run, const std::string& event) {
  std::vector<std::string> found;
  for (auto line : run.OutLines()) {
    if (line.rfind("{\"event\":\"" + event + "\"", 0) != 0) continue;
    if (const auto at = line.find(",\"receipt\":"); at != std::string::npos)
      line.replace(at, line.npos, "}");
    found.push_back(line);
  }
  return found;
}

// SHA-256 of the package's application records, each record's bytes back to back.
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

// "Text." with a reason: "Text (reason)."
std::string WithReason(std::string text, const std::string& reason) {
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text + " (" + reason + ").";
}

class CommandLineProgram : public ::testing::Test {};

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
       "Nothing was erased: the unit runs application version 2.0, newer than this package's "
       "1.2. Use --force to update anyway.\n",
       {0x01, 0x89}},
      {"guard off without firmware",
       newer,
       "update --ip 127.0.11.3 --no-firmware --factory-defaults",
       0,
       "The factory defaults were restored and the unit left bootload mode; no firmware was "
       "written.\n",
       {0x01, 0x89, 0x8C, 0x84}},
      {"silent",
       silent,
       "update --ip 127.0.11.4",
       2,
       EmbeddedPackage()->UpdaterTexts().GetString("error-message.NoResponse") + "\n",
       {}},
      {"GD32",
       gd32,
       "update --ip 127.0.11.5",
       3,
       WithReason(EmbeddedPackage()->UpdaterTexts().GetString("error-message.WrongResponse"),
                  "the package holds no images for GD32/ADAU1452") +
           "\n",
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
          R"({"event":"result","result":"failed","text":"The firmware update could not complete (the unit refused erase flash data).","exit_code":1})"}));
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
  const std::string path = ::testing::TempDir() + "tessaline-cli-receipts.jsonl";
  std::remove(path.c_str());
  const auto run = RunCli("update --ip 127.0.11.20 --factory-defaults --json --receipt " + path);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const Codes order = unit->CommandOrder();
  EXPECT_EQ(Codes(order.end() - 4, order.end()), (Codes{0x87, 0x8C, 0x89, 0x84}));
  // Two more updates of the unit, which now reports the package's version, extend the chain.
  for (int i = 0; i < 2; ++i) {
    unit->SetMode(sim::UnitMode::Bootloader);  // the final command reset it into its application
    EXPECT_EQ(RunCli("update --ip 127.0.11.20 --receipt " + path).exitCode, 0);
  }
  const auto check = receipts::VerifyReceipts(path);
  ASSERT_EQ(check.state, receipts::ReceiptLogState::Valid) << check.problem;
  ASSERT_EQ(check.receipts.size(), 3u);
  const receipts::Receipt& first = check.receipts[0];
  EXPECT_EQ(first.applicationVersionBefore + " " + first.applicationVersionAfter, "1.1 1.2");
  EXPECT_EQ(first.applicationSha256, PackageApplicationSha256());
  EXPECT_EQ(first.flashDataSha256, sim::Sha256Hex(ResourceBytes("BIN", "FLASH_STM32_ADAU1452")));
  // The JSON result event carries the same facts.
  EXPECT_NE(run.out.find(R"("flash_data_sha256":")" + first.flashDataSha256), std::string::npos);
  std::remove(path.c_str());
}

TEST_F(CommandLineProgram, AReceiptThatCannotBeAppendedAfterTheJobIsNotASuccess) {
  auto config = UdpUnit("127.0.11.22");
  config.eraseDelayMs = 300;
  auto unit = StartUnit(config);
  const std::string path = ::testing::TempDir() + "tessaline-cli-spoiled-receipts.jsonl";
  std::remove(path.c_str());
  // Passes the check before the job; the half line written during the job stops the append.
  bool spoiled = false;
  const auto run = RunCli("update --ip 127.0.11.22 --json --receipt " + path, "",
                          [&](const std::string& line, pid_t) {
                            if (spoiled || line.find("\"event\":\"stage\"") == line.npos) return;
                            std::ofstream(path, std::ios::app) << "{\"time\"";
                            spoiled = true;
                          });
  EXPECT_EQ(run.exitCode, 13) << run.err;
  EXPECT_TRUE(unit->UpdateFinished());
  const auto result = nlohmann::json::parse(run.OutLines().back(), nullptr, false);
  EXPECT_EQ(result.value("exit_code", 0), 13) << run.out;
  EXPECT_NE(result.value("receipt_error", "").find("incomplete"), std::string::npos) << run.out;
  std::remove(path.c_str());
}

TEST_F(CommandLineProgram, TheReadBackDecidesWhetherTheFinalCommandIsSent) {
  const struct {
    std::string options;
    int exitCode;
    std::string text;
    long finalCommands;
  } cases[] = {
      {"", 7,
       "Written, but the unit reports version 1.1 instead of 1.2. The final command was not "
       "sent: the unit stays in bootload mode for another try.\n",
       0},
      {"--no-verify", 0,
       "The firmware was written and the unit left bootload mode, but its version was not "
       "checked: the version was not read back.\n",
       1},
  };
  for (const auto& c : cases) {
    auto config = UdpUnit("127.0.11.21");
    config.staleVersion = true;
    auto unit = StartUnit(config);
    const auto run = RunCli("update --ip 127.0.11.21 " + c.options);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.options << "\n" << run.err;
    const std::string& stream = c.exitCode == 0 ? run.out : run.err;
    EXPECT_TRUE(stream.ends_with(c.text)) << stream;
    const Codes order = unit->CommandOrder();
    EXPECT_EQ(std::count(order.begin(), order.end(), 0x84), c.finalCommands) << c.options;
  }
}

TEST_F(CommandLineProgram, AnInterruptedUpdateIsFinishedByRunningItAgain) {
  auto config = UdpUnit("127.0.11.23");
  // The interrupt arrives while the flash data area is erased; a slow erase leaves a busy machine
  // time to read the stage line and send the signal before the first data write.
  config.eraseDelayMs = 2500;
  auto unit = StartUnit(config);
  const std::string arguments = "update --ip 127.0.11.23 --factory-defaults";
  const auto stopped = RunCli(arguments, "", [](const std::string& line, pid_t pid) {
    if (line == "Progress: UI\n") ::kill(pid, SIGINT);
  });
  EXPECT_EQ(stopped.exitCode, 130) << stopped.err;
  EXPECT_TRUE(stopped.err.ends_with(
      "Interrupted while writing the flash data: the unit stays in bootload mode without "
      "complete firmware; run the same command again to finish.\n"))
      << stopped.err;
  // Stopped at an exchange boundary: just before the flash data's erase, when the signal beat the
  // erase request, or just after it (the erase takes a second); never a data write.
  EXPECT_THAT(unit->CommandOrder().back(), ::testing::AnyOf(0x8F, 0x85));

  // The application is written, so the unit reports the package's version: the guard lets the
  // same command finish the update.
  const auto again = RunCli(arguments);
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_NE(again.out.find("The unit reports this package's version; writing it again completes "
                           "any earlier interrupted update.\n"),
            std::string::npos);
  testing::ExpectHoldsThePackage(*unit);
}

TEST_F(CommandLineProgram, ConfirmRunningWaitsForTheApplicationToAnswer) {
  for (const bool comesBack : {true, false}) {
    auto config = UdpUnit("127.0.11.24");
    if (comesBack) config.tcpText = "127.0.11.24:0";  // without it the unit never answers
    auto unit = StartUnit(config);
    const auto run =
        RunCli("update --ip 127.0.11.24 --no-firmware --confirm-running=2 --json " +
               ("--parser-port " + std::to_string(comesBack ? unit->TextPort() : 4999)));
    EXPECT_EQ(run.exitCode, comesBack ? 0 : 10) << run.err;
    const auto results = Events(run, "result");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_NE(results[0].find(comesBack ? R"("result":"running")" : R"("result":"not-confirmed")"),
              std::string::npos)
        << results[0];
    EXPECT_NE(run.out.find(std::string(R"("running_confirmation":{"limit_seconds":2,"running":)") +
                           (comesBack ? "true" : "false")),
              std::string::npos)
        << run.out;
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
      "query --ip 127.0.0.2 --port /dev/null",  // update takes several units, query one
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

// A copy of the build's package folder in a fresh temporary folder, removed with the object.
class PackageCopy {
 public:
  explicit PackageCopy(const std::string& name)
      : path_(std::filesystem::path(::testing::TempDir()) / name) {
    std::filesystem::remove_all(path_);
    std::filesystem::copy(TESSALINE_BUILD_PACKAGE_DIR, path_,
                          std::filesystem::copy_options::recursive);
  }
  ~PackageCopy() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Path() const { return path_.string(); }
  std::filesystem::path File(const std::string& relative) const { return path_ / relative; }
  // Puts `line` before a text's first line: the first definition of a key wins.
  void PrependLine(const std::string& relative, const std::string& line) const {
    std::ifstream in(File(relative), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    std::ofstream(File(relative), std::ios::binary) << line << "\r\n" << text;
  }

 private:
  std::filesystem::path path_;
};

std::string Sha256Sum(const std::filesystem::path& file) {
  std::FILE* pipe = popen(("sha256sum '" + file.string() + "'").c_str(), "r");
  if (pipe == nullptr) return {};
  char digest[65] = {};
  const std::size_t n = std::fread(digest, 1, 64, pipe);
  pclose(pipe);
  return std::string(digest, n);
}

TEST_F(CommandLineProgram, PackageDigestsEqualThoseOfItsFiles) {
  const PackageCopy copy("tessaline-package-digests");
  // The folder's texts, not the built-in ones.
  copy.PrependLine("PROPERTIES/UNIT.properties", "build-version = V9.9");
  const struct {
    std::string arguments;
    std::string buildVersion;
  } runs[] = {{"package --json", EmbeddedPackage()->UnitTexts().GetString("build-version")},
              {"package --json --package " + copy.Path(), "V9.9"}};
  for (const auto& [arguments, buildVersion] : runs) {
    const auto run = RunCli(arguments);
    ASSERT_EQ(run.exitCode, 0) << arguments << "\n" << run.err;
    const auto document = nlohmann::json::parse(run.OutLines().at(0));
    EXPECT_EQ(document["build_version"], buildVersion);
    int images = 0;
    for (const auto& variant : document["variants"]) {
      for (const char* kind : {"application", "flash_data"}) {
        if (variant[kind].is_null()) continue;
        const std::string file = variant[kind]["file"];
        const std::string folder = file.substr(0, file.find('/'));
        // The file's extension is not part of its name in the package.
        for (const auto& entry : std::filesystem::directory_iterator(copy.File(folder))) {
          if (entry.path().stem().string() != file.substr(folder.size() + 1)) continue;
          EXPECT_EQ(variant[kind]["sha256"], Sha256Sum(entry.path())) << file;
          EXPECT_EQ(variant[kind]["bytes"], std::filesystem::file_size(entry.path())) << file;
          ++images;
        }
      }
    }
    EXPECT_EQ(images, 2) << arguments;
    EXPECT_TRUE(document["notes"].contains("BUILD_NOTES")) << arguments;
  }
}

TEST_F(CommandLineProgram, APackageThatCannotServeIsRefusedBeforeAnythingIsSent) {
  const PackageCopy good("tessaline-package-good");
  const PackageCopy damaged("tessaline-package-damaged");
  {
    // Line 12's checksum one off.
    const auto hex = damaged.File("HEX/APPLICATION_STM32_ADAU1452.hex");
    std::ifstream in(hex, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    std::size_t at = 0;
    for (int line = 0; line < 12; ++line) at = text.find('\n', at) + 1;
    const std::size_t lastDigit = at - 2 - (text[at - 2] == '\r' ? 1 : 0);
    text[lastDigit] = text[lastDigit] == '0' ? '1' : '0';
    std::ofstream(hex, std::ios::binary) << text;
  }
  const PackageCopy noApplication("tessaline-package-flash-only");
  std::filesystem::remove_all(noApplication.File("HEX"));

  struct Case {
    const char* what;
    std::string arguments;
    int exitCode;
    std::string text;  // a piece of what the user reads
    bool sent;
  };
  const Case cases[] = {
      {"damaged HEX", "--package " + damaged.Path(), 12, "HEX/APPLICATION_STM32_ADAU1452: line 12",
       false},
      {"no application image", "--package " + noApplication.Path(), 12, "no application image",
       false},
      {"no folder", "--package " + good.Path() + "/none", 5, "cannot be read", false},
      {"good copy", "--package " + good.Path(), 0, "The firmware updated successfully.", true},
  };
  for (const auto& c : cases) {
    auto unit = StartUnit(UdpUnit("127.0.11.11"));
    const auto run = RunCli("update --ip 127.0.11.11 " + c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.err;
    EXPECT_NE((run.out + run.err).find(c.text), std::string::npos) << c.what << "\n" << run.err;
    EXPECT_EQ(!unit->CommandOrder().empty(), c.sent) << c.what;
    EXPECT_EQ(unit->UpdateFinished(), c.sent) << c.what;
  }
}

TEST_F(CommandLineProgram, AnUpdateWithAnotherPackageTellsItsOutcomeInThatPackagesWords) {
  const PackageCopy copy("tessaline-package-words");
  copy.PrependLine("PROPERTIES/UPDATER.properties",
                   "error-message.WrongResponse = The unit is not one this package serves.");
  auto gd32 = UdpUnit("127.0.11.12");
  gd32.mcuFamily = "GD32";
  auto unit = StartUnit(gd32);
  const auto run = RunCli("update --ip 127.0.11.12 --package " + copy.Path());
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_TRUE(run.err.ends_with(
      "The unit is not one this package serves (the package holds no images for "
      "GD32/ADAU1452).\n"))
      << run.err;
}

TEST_F(CommandLineProgram, APortThatCannotBeOpenedIsNamedWithTheSystemsReason) {
  const std::string notADevice = ::testing::TempDir() + "tessaline-not-a-port";
  std::ofstream(notADevice) << "plain file";
  const struct {
    std::string arguments;
    std::string reason;
  } cases[] = {
      {"update --port /dev/tessaline-no-such-port", "No such file or directory"},
      {"exit-bootload --port " + notADevice, "not a serial device"},
      // Not taken for a silent unit ("No unit answered").
      {"query --port /dev/tessaline-no-such-port", "No such file or directory"},
      {"enter-bootload --pin 1234 --port /dev/tessaline-no-such-port", "No such file or directory"},
  };
  for (const auto& c : cases) {
    const auto run = RunCli(c.arguments + " --json");
    EXPECT_EQ(run.exitCode, 11) << c.arguments << "\n" << run.out;
    const auto result = nlohmann::json::parse(Events(run, "result").at(0));
    EXPECT_EQ(result["result"], "port-unavailable");
    EXPECT_NE(result["text"].get<std::string>().find(c.reason), std::string::npos)
        << result["text"];
  }
  std::remove(notADevice.c_str());
}

}  // namespace
}  // namespace tessaline

namespace tessaline {
namespace {

// A copy of the build's package folder without its unit properties: no build version.
std::string PackageWithoutBuildVersion() {
  namespace fs = std::filesystem;
  const fs::path copy = fs::path(::testing::TempDir()) / "tessaline-no-build-version";
  fs::remove_all(copy);
  fs::copy(TESSALINE_BUILD_PACKAGE_DIR, copy, fs::copy_options::recursive);
  fs::remove(copy / "PROPERTIES" / "UNIT.properties");
  return copy.string();
}

// Every edge where the program once said "updated" (or "exited") while the unit did not hold the
// package or stayed in bootload mode: the words, the code and the unit's state afterwards.
TEST(Verdict, NothingIsClaimedThatTheUnitDidNotTake) {
  using sim::UnitMode;
  struct Case {
    const char* what;
    const char* command;  // after "--ip <address>"
    std::function<void(sim::UnitConfig&)> fault;
    int exitCode;
    const char* words;
    UnitMode modeAfter;
    bool erased;  // the unit's application area was written to
  };
  const auto drop = [](std::uint8_t code, std::uint32_t from, std::uint32_t to) {
    return [=](sim::UnitConfig& c) {
      for (std::uint32_t n = from; n <= to; ++n) c.faults.dropArrivals.push_back({code, n});
    };
  };
  const auto refuse = [](int code, std::uint32_t nth) {
    return [=](sim::UnitConfig& c) {
      c.faults.refuseCommand = code;
      c.faults.refuseNth = nth;
    };
  };
  const std::string noVersionPackage = "update --package " + PackageWithoutBuildVersion();
  const Case cases[] = {
      {"final command refused", "update", refuse(0x04, 1), 14,
       "did not leave bootload mode (the unit refused the finish update command)",
       UnitMode::Bootloader, true},
      {"first final command lost", "update", drop(0x04, 1, 1), 0,
       "The firmware updated successfully.", UnitMode::Application, true},
      {"every final command lost", "update", drop(0x04, 1, 3), 15,
       "did not take the finish update command in 3 tries", UnitMode::Bootloader, true},
      {"stale version after the write", "update", [](sim::UnitConfig& c) { c.staleVersion = true; },
       7, "the unit reports version 1.1 instead of 1.2", UnitMode::Bootloader, true},
      {"version request unanswered", "update", drop(0x09, 1, 10), 4,
       "did not report its application version, so it could not be checked",
       UnitMode::Bootloader, false},
      {"a refused chunk names itself", "update", refuse(0x06, 50), 1,
       "could not complete (the unit refused flash data chunk", UnitMode::Bootloader, true},
      {"no firmware asked for", "update --no-firmware", {}, 0,
       "No firmware was written; the unit only left bootload mode.", UnitMode::Application, false},
      {"exit command refused", "exit-bootload", refuse(0x0B, 1), 14,
       "The unit did not leave bootload mode (the unit refused the exit bootload command).",
       UnitMode::Bootloader, false},
      {"package without a build version", noVersionPackage.c_str(), {}, 12,
       "names no build version", UnitMode::Bootloader, false},
  };
  int host = 1;
  for (const Case& c : cases) {
    const std::string address = "127.0.12." + std::to_string(host++);
    sim::UnitConfig config = testing::UdpUnit(address);
    if (c.fault) c.fault(config);
    auto unit = StartUnit(config);
    const CliRun run = RunCli(std::string(c.command) + " --ip " + address);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(c.words), std::string::npos) << c.what << "\n" << run.out << run.err;
    if (c.exitCode != 0) {
      EXPECT_EQ(run.out.find("updated successfully"), std::string::npos) << c.what;
    }
    EXPECT_EQ(unit->Mode(), c.modeAfter) << c.what;
    const Codes order = unit->CommandOrder();
    EXPECT_EQ(std::count(order.begin(), order.end(), 0x82) != 0, c.erased) << c.what;
  }
}

}  // namespace
}  // namespace tessaline

namespace tessaline {
namespace {

// A pulled USB adapter: the serial line hangs up mid-write, and the program names it as such.
TEST(Verdict, ASerialLineThatHangsUpIsNamedAsGone) {
  sim::UnitConfig config;
  config.serial = true;
  auto unit = StartUnit(config);
  const std::string port = unit->SerialPath();
  bool pulled = false;
  const CliRun run = RunCli("update --port " + port, "", [&](const std::string& line, pid_t) {
    if (!pulled && line.find("Application") != std::string::npos) {
      pulled = true;
      unit->Stop();
    }
  });
  EXPECT_TRUE(pulled) << run.out;
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_NE(run.err.find("(the serial port went away (" + port), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tessaline
