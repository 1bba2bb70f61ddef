// The programming steps and the two jobs against a scripted unit: wire order, messages, mends.
#include "update/jobs.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "shell/message_target.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "update/programming.h"
#include "update/progress.h"
#include "update/scripted_unit.h"
#include "update/test_images.h"

namespace tessaline {
namespace {

using testing::GoodUnit;
using testing::IdentityReply;
using testing::ManualClock;
using testing::ReceivedRequest;
using testing::ScriptedUnit;
using testing::TempFile;
using testing::UnitLog;
using Codes = std::vector<std::uint8_t>;

// One job against one scripted unit, with a package of small images in files.
struct JobBench {
  ManualClock clock;
  std::shared_ptr<UnitLog> log = std::make_shared<UnitLog>();
  BootloaderLink link{clock};
  CHexManager application;
  CBinManager flashData;
  std::shared_ptr<RecordingMessageTarget> window = std::make_shared<RecordingMessageTarget>();
  TempFile hexFile{"app.hex", testing::HexText(9, 16)};
  TempFile binFile{"flash.bin", testing::Bytes(130)};
  JobEnvironment environment;

  JobBench() {
    environment.link = &link;
    environment.applicationImage = &application;
    environment.flashDataImage = &flashData;
    environment.clock = &clock;
    environment.presence = ImagePresenceFlags{true, true, false, false, false, false, false, false};
    environment.loadApplication = [this](CHexManager& image, std::string_view) {
      return image.LoadFromFile(hexFile.Path());
    };
    environment.loadFlashData = [this](CBinManager& image, std::string_view) {
      return image.LoadFromFile(binFile.Path());
    };
    environment.overwriteFirmware = true;
    environment.overwriteFactoryDefaults = true;
  }

  UnitRequest Request(testing::Responder responder = GoodUnit) {
    return UnitRequest{window, std::make_unique<ScriptedUnit>(clock, std::move(responder), log)};
  }
  std::vector<std::uint32_t> Codes() const { return window->Codes(); }
  std::vector<std::uint64_t> Positions() const {
    std::vector<std::uint64_t> positions;
    for (const auto& m : window->Messages()) {
      if (m.code == WM_APP_PROGRESS_POS) positions.push_back(m.wParam);
    }
    return positions;
  }
  std::optional<std::uint64_t> Range() const {
    for (const auto& m : window->Messages()) {
      if (m.code == WM_APP_PROGRESS_RANGE) return m.lParam;
    }
    return std::nullopt;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : window->Messages()) {
      if (m.code == WM_APP_PROGRESS_TEXT) texts.push_back(m.text);
    }
    return texts;
  }
};

// The same command repeated `n` times.
Codes Times(std::uint8_t code, std::size_t n) { return Codes(n, code); }
Codes Join(std::initializer_list<Codes> parts) {
  Codes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(UpdateJob, FullUpdateRunsEveryStepInOrder) {
  JobBench bench;
  EXPECT_EQ(RunUpdateJob(bench.Request(), bench.environment), JobOutcome::Succeeded);
  // 9 records: batches of 8 and 1; 130 bytes: chunks of 64, 64 and 2.
  EXPECT_EQ(bench.log->Commands(), Join({{0x01, 0x89, 0x82, 0x8E},
                                         Times(0x83, 2),
                                         {0x8F, 0x85},
                                         Times(0x86, 3),
                                         {0x87, 0x8C, 0x84}}));
  EXPECT_EQ(bench.Range(), 9u + 130u + 10u);
  EXPECT_EQ(bench.Positions(),
            (std::vector<std::uint64_t>{8, 9, 9 + 64, 9 + 128, 9 + 130, 9 + 130 + 10}));
  EXPECT_EQ(bench.Texts(),
            (std::vector<std::string>{"Progress: Initializing", "Progress: Application",
                                      "Progress: UI", "Progress: Factory Defaults"}));
  EXPECT_EQ(bench.Codes().back(), WM_APP_UPDATE_SUCCEEDED);
  EXPECT_EQ(ProgressPosition.load(), 149u);
}

TEST(UpdateJob, TheOptionsChooseTheSteps) {
  struct Case {
    bool firmware;
    bool factoryDefaults;
    Codes wire;
    std::uint64_t range;
  };
  const Case cases[] = {
      {false, false, {0x01, 0x89, 0x84}, 0},
      {false, true, {0x01, 0x89, 0x8C, 0x84}, 10},
      {true, false,
       Join({{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2), {0x8F, 0x85}, Times(0x86, 3), {0x87, 0x84}}),
       139},
  };
  for (const auto& c : cases) {
    JobBench bench;
    bench.environment.overwriteFirmware = c.firmware;
    bench.environment.overwriteFactoryDefaults = c.factoryDefaults;
    EXPECT_EQ(RunUpdateJob(bench.Request(), bench.environment), JobOutcome::Succeeded);
    EXPECT_EQ(bench.log->Commands(), c.wire);
    EXPECT_EQ(bench.Range(), c.range);
    EXPECT_EQ(bench.Codes().back(), WM_APP_UPDATE_SUCCEEDED);
  }
}

TEST(UpdateJob, AClearedFirmwareChoiceReachesTheJob) {
  // The package holds an application image, yet the user cleared the Firmware box.
  const bool savedFirmware = OverwriteFirmware;
  const bool savedDefaults = OverwriteFactoryDefaults;
  PackageHasApplication = true;
  OverwriteFirmware = false;
  OverwriteFactoryDefaults = true;
  JobBench bench;
  bench.environment.overwriteFirmware.reset();
  bench.environment.overwriteFactoryDefaults.reset();
  EXPECT_EQ(RunUpdateJob(bench.Request(), bench.environment), JobOutcome::Succeeded);
  EXPECT_EQ(bench.log->Commands(), (Codes{0x01, 0x89, 0x8C, 0x84}));
  OverwriteFirmware = savedFirmware;
  OverwriteFactoryDefaults = savedDefaults;
}

TEST(UpdateJob, OnlyTheUnitsOwnImagesAreWritten) {
  struct Case {
    const char* what;
    ImagePresenceFlags presence;
    JobOutcome outcome;
    Codes wire;
  };
  const Case cases[] = {
      // An application image of another variant must not erase this unit's application area.
      {"own flash data, another variant's application",
       {false, true, true, false, false, false, false, false},
       JobOutcome::Succeeded,
       Join({{0x01, 0x89, 0x85}, Times(0x86, 3), {0x87, 0x8C, 0x84}})},
      {"own application, another variant's flash data",
       {true, false, false, true, false, false, false, false},
       JobOutcome::Succeeded,
       Join({{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2), {0x8F, 0x8C, 0x84}})},
      {"only another variant's images",
       {false, false, true, true, true, true, true, true},
       JobOutcome::WrongResponse,
       {0x01, 0x89}},
  };
  for (const auto& c : cases) {
    JobBench bench;
    bench.environment.presence = c.presence;
    EXPECT_EQ(RunUpdateJob(bench.Request(), bench.environment), c.outcome) << c.what;
    EXPECT_EQ(bench.log->Commands(), c.wire) << c.what;
  }
}

TEST(UpdateJob, AnImageThatWillNotLoadRefusesTheUnitBeforeAnyErase) {
  JobBench bench;
  bench.environment.loadApplication = [](CHexManager&, std::string_view) { return false; };
  EXPECT_EQ(RunUpdateJob(bench.Request(), bench.environment), JobOutcome::WrongResponse);
  EXPECT_EQ(bench.log->Commands(), (Codes{0x01, 0x89}));
  EXPECT_EQ(bench.Codes().back(), WM_APP_WRONG_RESPONSE);
}

TEST(UpdateJob, RefusedUnitsEndWithTheirMessageAndNothingErased) {
  struct Case {
    const char* what;
    testing::Responder unit;
    std::uint32_t message;
    Codes wire;
  };
  const Case cases[] = {
      {"silent", [](const ReceivedRequest&) { return std::nullopt; }, WM_APP_NO_RESPONSE,
       Times(0x01, 5)},
      {"GD32 variant",
       [](const ReceivedRequest& r) {
         return (r.command & 0x7F) == 0x01 ? IdentityReply(1, 0, "Tessaline,GD32,ADAU1452")
                                           : GoodUnit(r);
       },
       WM_APP_WRONG_RESPONSE,
       {0x01, 0x89}},
      {"lower-case MCU family",
       [](const ReceivedRequest& r) {
         return (r.command & 0x7F) == 0x01 ? IdentityReply(1, 0, "Tessaline,stm32,ADAU1452")
                                           : GoodUnit(r);
       },
       WM_APP_WRONG_RESPONSE,
       {0x01, 0x89}},
      {"bootloader 4.1",
       [](const ReceivedRequest& r) {
         return (r.command & 0x7F) == 0x01 ? IdentityReply(4, 1, "Tessaline,STM32,ADAU1452")
                                           : GoodUnit(r);
       },
       WM_APP_WRONG_RESPONSE,
       {0x01}},
  };
  for (const auto& c : cases) {
    JobBench bench;
    RunUpdateJob(bench.Request(c.unit), bench.environment);
    EXPECT_EQ(bench.log->Commands(), c.wire) << c.what;
    const auto codes = bench.Codes();
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{WM_APP_PROGRESS_TEXT, c.message})) << c.what;
  }
}

TEST(UpdateJob, AFailedStepStopsTheUpdateAndSkipsTheFinalCommand) {
  struct Case {
    const char* what;
    std::uint8_t refusedCode;
    std::size_t refusedNth;
    Codes wire;
  };
  const Case cases[] = {
      {"second batch", 0x83, 2, Join({{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2)})},
      {"application erase", 0x82, 1, {0x01, 0x89, 0x82}},
      {"a chunk", 0x86, 1, Join({{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2), {0x8F, 0x85, 0x86}})},
      {"factory defaults", 0x8C, 1,
       Join(
           {{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2), {0x8F, 0x85}, Times(0x86, 3), {0x87, 0x8C}})},
  };
  for (const auto& c : cases) {
    JobBench bench;
    std::size_t seen = 0;
    auto unit = [&](const ReceivedRequest& r) -> std::optional<std::vector<std::uint8_t>> {
      if (r.command == c.refusedCode && ++seen == c.refusedNth) return std::vector<std::uint8_t>{0};
      return GoodUnit(r);
    };
    EXPECT_EQ(RunUpdateJob(bench.Request(unit), bench.environment), JobOutcome::UpdateFailed)
        << c.what;
    EXPECT_EQ(bench.log->Commands(), c.wire) << c.what;
    EXPECT_EQ(bench.Codes().back(), WM_APP_UPDATE_FAILED) << c.what;
  }
}

TEST(UpdateJob, TheVersionGuardCanStopTheJobBeforeAnyErase) {
  JobBench bench;
  std::optional<std::uint32_t> seen;
  bench.environment.versionGuard = [&](std::optional<std::uint32_t> version) {
    seen = version;
    return false;
  };
  EXPECT_EQ(RunUpdateJob(bench.Request(), bench.environment), JobOutcome::Declined);
  EXPECT_EQ(seen, 0x00010001u);
  EXPECT_EQ(bench.log->Commands(), (Codes{0x01, 0x89}));
  EXPECT_EQ(bench.Codes(), (std::vector<std::uint32_t>{WM_APP_PROGRESS_TEXT}));

  JobBench unitWithoutVersion;
  unitWithoutVersion.environment.versionGuard = [&](std::optional<std::uint32_t> version) {
    seen = version;
    return true;
  };
  auto noVersion = [](const ReceivedRequest& r) -> std::optional<std::vector<std::uint8_t>> {
    if ((r.command & 0x7F) == 0x09) return std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF};
    return GoodUnit(r);
  };
  EXPECT_EQ(RunUpdateJob(unitWithoutVersion.Request(noVersion), unitWithoutVersion.environment),
            JobOutcome::Succeeded);
  EXPECT_EQ(seen, std::nullopt);
}

TEST(ExitBootloadJob, SendsTheExitCommandInTheFormOfItsOwnIdentity) {
  JobBench bench;
  // A previous update job left its own identity behind; the exit job must not use it.
  UpdateJobIdentity().SequencedCommands = false;
  EXPECT_EQ(RunExitBootloadJob(bench.Request(), bench.environment), JobOutcome::BootloadExited);
  EXPECT_EQ(bench.log->Commands(), (Codes{0x01, 0x8B}));
  EXPECT_EQ(bench.Codes(), (std::vector<std::uint32_t>{WM_APP_BOOTLOAD_EXITED}));

  JobBench silent;
  EXPECT_EQ(RunExitBootloadJob(silent.Request([](const ReceivedRequest&) { return std::nullopt; }),
                               silent.environment),
            JobOutcome::NoResponse);
  EXPECT_EQ(silent.Codes(), (std::vector<std::uint32_t>{WM_APP_NO_RESPONSE}));
}

TEST(JobThread, RunsOneJobAtATimeAndJoins) {
  ManualClock clock;
  auto log = std::make_shared<UnitLog>();
  auto window = std::make_shared<RecordingMessageTarget>();
  JobThread thread;
  EXPECT_FALSE(thread.Running());
  ASSERT_TRUE(
      thread.Start(JobKind::ExitBootload,
                   UnitRequest{window, std::make_unique<ScriptedUnit>(clock, GoodUnit, log)}));
  // The job pauses after its result message, so it is still running here.
  ASSERT_TRUE(window->WaitFor(WM_APP_BOOTLOAD_EXITED, 5000));
  EXPECT_FALSE(thread.Start(JobKind::ExitBootload, UnitRequest{window, nullptr}));
  thread.Wait();
  EXPECT_FALSE(thread.Running());
  EXPECT_EQ(log->Commands(), (Codes{0x01, 0x8B}));
  EXPECT_EQ(window->Codes(), (std::vector<std::uint32_t>{WM_APP_BOOTLOAD_EXITED}));
}

}  // namespace
}  // namespace tessaline
