// tessaline-update against simulated units: exit codes, JSON events, texts and the version guard.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "package/package_globals.h"
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

// The JSON event lines naming `event`.
std::vector<std::string> Events(const CliRun& run, const std::string& event) {
  std::vector<std::string> found;
  for (const auto& line : run.OutLines()) {
    if (line.rfind("{\"event\":\"" + event + "\"", 0) == 0) found.push_back(line);
  }
  return found;
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
      {"same version",
       same,
       "update --ip 127.0.11.2",
       4,
       "The unit already runs application version 1.2, the version of this package (V1.2). "
       "Nothing was erased; use --force to update anyway.\n",
       {0x01, 0x89}},
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
  {
    // The folder's texts, not the built-in ones: the first definition of a key wins.
    const auto unitTexts = copy.File("PROPERTIES/UNIT.properties");
    std::ifstream in(unitTexts, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    std::ofstream(unitTexts, std::ios::binary) << "build-version = V9.9\r\n" << text;
  }
  const struct {
    std::string arguments;
    std::string buildVersion;
  } runs[] = {{"package --json", UnitProperties().GetString("build-version")},
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

TEST_F(CommandLineProgram, APortThatCannotBeOpenedIsNamedWithTheSystemsReason) {
  const std::string notADevice = ::testing::TempDir() + "tessaline-not-a-port";
  std::ofstream(notADevice) << "plain file";
  const struct {
    std::string arguments;
    std::string reason;
  } cases[] = {
      {"update --port /dev/tessaline-no-such-port", "No such file or directory"},
      {"exit-bootload --port " + notADevice, "not a serial device"},
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
