// The programming steps and the two jobs against a scripted unit: wire order, events, mends.
#include "update/jobs.h"

#include <gtest/gtest.h>

#include <memory>
#include <stop_token>

#include "package/hex_manager.h"
#include "support/manual_clock.h"
#include "support/memory_package.h"
#include "support/recording_message_target.h"
#include "ui/job_messages.h"
#include "ui/messages.h"
#include "update/scripted_unit.h"
#include "update/test_images.h"

namespace tessaline {
namespace {

using testing::GoodUnit;
using testing::IdentityReply;
using testing::MakeScriptedUnit;
using testing::ManualClock;
using testing::MemoryPackageSource;
using testing::ReceivedRequest;
using testing::UnitLog;
using Codes = std::vector<std::uint8_t>;

// A package of small images: one per row whose flag is set (9 records, 130 bytes).
MemoryPackageSource SmallPackage(const ImagePresenceFlags& presence,
                                 std::string hexText = testing::HexText(9, 16)) {
  MemoryPackageSource source;
  for (std::size_t row = 0; row < PackageVariants.size(); ++row) {
    if (!presence[row]) continue;
    const PackageVariant& file = PackageVariants[row];
    source.Add(std::string(file.type), std::string(file.resource),
               file.type == kHexResourceType ? hexText : testing::Bytes(130));
  }
  return source;
}

// One job against one scripted unit, reporting through the desktop program's messages.
struct JobBench {
  ManualClock clock;
  std::shared_ptr<UnitLog> log = std::make_shared<UnitLog>();
  std::shared_ptr<RecordingMessageTarget> window = std::make_shared<RecordingMessageTarget>();
  MemoryPackageSource source =
      SmallPackage(ImagePresenceFlags{true, true, false, false, false, false, false, false});
  JobOptions options;

  JobBench() {
    options.clock = &clock;
    options.firmware = true;
    options.factoryDefaults = true;
  }

  std::unique_ptr<Transport> Unit(testing::Responder responder = GoodUnit) {
    return MakeScriptedUnit(clock, std::move(responder), log);
  }
  JobResult Update(testing::Responder responder = GoodUnit) {
    const auto package = Package::Load(source);
    JobMessages messages(window, package);
    return RunUpdateJob(Unit(std::move(responder)), *package, options, messages);
  }
  JobResult Exit(testing::Responder responder = GoodUnit) {
    JobMessages messages(window, Package::Load(source));
    return RunExitBootloadJob(Unit(std::move(responder)), options, messages);
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
  const JobResult result = bench.Update();
  EXPECT_EQ(result.outcome, JobOutcome::Succeeded);
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

  // The typed result: who the unit was, what it ran before, and what each stage cost.
  EXPECT_EQ(result.stage, Stage::Finishing);
  EXPECT_EQ(result.identity.text, "Tessaline,STM32,ADAU1452");
  EXPECT_TRUE(result.identity.SequencedCommands);
  EXPECT_EQ(result.applicationVersionBefore, 0x00010001u);
  EXPECT_EQ(result.variant, 0u);
  std::vector<Stage> stages;
  std::uint32_t exchanges = 0;
  for (const auto& s : result.stages) {
    stages.push_back(s.stage);
    exchanges += s.exchanges;
    EXPECT_EQ(s.sends, s.exchanges);  // nothing was resent
  }
  EXPECT_EQ(stages, (std::vector<Stage>{Stage::Initializing, Stage::Application, Stage::FlashData,
                                        Stage::FactoryDefaults, Stage::Finishing}));
  EXPECT_EQ(exchanges, bench.log->Commands().size());
  EXPECT_EQ(result.stages[1].exchanges, 5u);  // erase, begin, two batches, end
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
    bench.options.firmware = c.firmware;
    bench.options.factoryDefaults = c.factoryDefaults;
    EXPECT_EQ(bench.Update().outcome, JobOutcome::Succeeded);
    EXPECT_EQ(bench.log->Commands(), c.wire);
    EXPECT_EQ(bench.Range(), c.range);
    EXPECT_EQ(bench.Codes().back(), WM_APP_UPDATE_SUCCEEDED);
  }
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
    bench.source = SmallPackage(c.presence);
    EXPECT_EQ(bench.Update().outcome, c.outcome) << c.what;
    EXPECT_EQ(bench.log->Commands(), c.wire) << c.what;
  }
}

TEST(UpdateJob, AnImageThatWillNotLoadRefusesTheUnitBeforeAnyErase) {
  JobBench bench;
  bench.source = SmallPackage(
      ImagePresenceFlags{true, true, false, false, false, false, false, false}, ":10damaged\r\n");
  const JobResult result = bench.Update();
  EXPECT_EQ(result.outcome, JobOutcome::WrongResponse);
  EXPECT_EQ(result.reason, "the package's images for STM32/ADAU1452 are damaged");
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
    bench.Update(c.unit);
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
    Stage stage;
    const char* reason;
  };
  const Case cases[] = {
      {"second batch", 0x83, 2, Join({{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2)}),
       Stage::Application, "the unit refused application records"},
      {"application erase",
       0x82,
       1,
       {0x01, 0x89, 0x82},
       Stage::Application,
       "the unit refused erase application"},
      {"a chunk", 0x86, 1, Join({{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2), {0x8F, 0x85, 0x86}}),
       Stage::FlashData, "the unit refused flash data chunk"},
      {"factory defaults", 0x8C, 1,
       Join({{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2), {0x8F, 0x85}, Times(0x86, 3), {0x87, 0x8C}}),
       Stage::FactoryDefaults, "the unit refused factory defaults"},
  };
  for (const auto& c : cases) {
    JobBench bench;
    std::size_t seen = 0;
    auto unit = [&](const ReceivedRequest& r) -> std::optional<std::vector<std::uint8_t>> {
      if (r.command == c.refusedCode && ++seen == c.refusedNth) return std::vector<std::uint8_t>{0};
      return GoodUnit(r);
    };
    const JobResult result = bench.Update(unit);
    EXPECT_EQ(result.outcome, JobOutcome::UpdateFailed) << c.what;
    EXPECT_EQ(result.stage, c.stage) << c.what;
    EXPECT_EQ(result.reason, c.reason) << c.what;
    EXPECT_EQ(bench.log->Commands(), c.wire) << c.what;
    EXPECT_EQ(bench.Codes().back(), WM_APP_UPDATE_FAILED) << c.what;
  }
}

TEST(UpdateJob, TheVersionGuardCanStopTheJobBeforeAnyErase) {
  JobBench bench;
  std::optional<ApplicationReading> seen;
  bench.options.versionGuard = [&](const ApplicationReading& reading) -> GuardRefusal {
    seen = reading;
    return "newer";
  };
  EXPECT_EQ(bench.Update().outcome, JobOutcome::Declined);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->Known(), 0x00010001u);
  EXPECT_EQ(bench.log->Commands(), (Codes{0x01, 0x89}));
  EXPECT_EQ(bench.Codes(), (std::vector<std::uint32_t>{WM_APP_PROGRESS_TEXT}));

  JobBench unitWithoutVersion;
  unitWithoutVersion.options.versionGuard = [&](const ApplicationReading& reading) {
    seen = reading;
    return GuardRefusal();
  };
  auto noVersion = [](const ReceivedRequest& r) -> std::optional<std::vector<std::uint8_t>> {
    if ((r.command & 0x7F) == 0x09) return std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF};
    return GoodUnit(r);
  };
  EXPECT_EQ(unitWithoutVersion.Update(noVersion).outcome, JobOutcome::Succeeded);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->state, ApplicationState::NoApplication);
}

TEST(ExitBootloadJob, SendsTheExitCommandInTheFormOfItsOwnIdentity) {
  JobBench bench;
  EXPECT_EQ(bench.Exit().outcome, JobOutcome::BootloadExited);
  EXPECT_EQ(bench.log->Commands(), (Codes{0x01, 0x8B}));
  EXPECT_EQ(bench.Codes(), (std::vector<std::uint32_t>{WM_APP_BOOTLOAD_EXITED}));

  JobBench silent;
  EXPECT_EQ(silent.Exit([](const ReceivedRequest&) { return std::nullopt; }).outcome,
            JobOutcome::NoResponse);
  EXPECT_EQ(silent.Codes(), (std::vector<std::uint32_t>{WM_APP_NO_RESPONSE}));
}

TEST(UpdateJob, AStopRequestEndsTheJobAtTheNextExchangeBoundary) {
  // Stopped while the third flash data chunk is on the wire: that exchange completes, nothing
  // more is sent, and the result names the stage.
  JobBench bench;
  std::stop_source stop;
  bench.options.stop = stop.get_token();
  std::size_t chunks = 0;
  const JobResult result = bench.Update([&](const ReceivedRequest& r) {
    if (r.command == 0x86 && ++chunks == 2) stop.request_stop();
    return GoodUnit(r);
  });
  EXPECT_EQ(result.outcome, JobOutcome::Interrupted);
  EXPECT_EQ(result.stage, Stage::FlashData);
  EXPECT_EQ(bench.log->Commands(),
            Join({{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2), {0x8F, 0x85}, Times(0x86, 2)}));
  // The window never asks for a stop, so it gets no result message.
  EXPECT_EQ(bench.Codes().back(), WM_APP_PROGRESS_POS);
}

TEST(UpdateJob, AStopRequestBeforeProgrammingEndsTheJobAfterTheExchangeOnTheWire) {
  // Identity, version query and erase are boundaries too: nothing follows the stopped exchange.
  const Codes lastSent[] = {{0x01}, {0x01, 0x89}, {0x01, 0x89, 0x82}};
  for (const Codes& sent : lastSent) {
    JobBench bench;
    std::stop_source stop;
    bench.options.stop = stop.get_token();
    const JobResult result = bench.Update([&](const ReceivedRequest& r) {
      if (r.command == sent.back()) stop.request_stop();
      return GoodUnit(r);
    });
    EXPECT_EQ(result.outcome, JobOutcome::Interrupted) << int{sent.back()};
    EXPECT_EQ(bench.log->Commands(), sent);
  }
}

TEST(UpdateJob, TheReadBackComparesTheVersionTheImageCarries) {
  // The scripted unit always reports 1.1. The version word, when the image has one, wins over
  // the fallback.
  const std::string withVersionWord = testing::HexLine(0, 0x04, {0x08, 0x07}) +
                                      testing::HexLine(0xFFFC, 0x00, {0x02, 0x00, 0x01, 0x00}) +
                                      testing::HexLine(0, 0x01, {});
  struct Case {
    std::string hex;
    std::uint32_t fallback;
    JobOutcome outcome;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {testing::HexText(9, 16), 0x00010001, JobOutcome::Succeeded, 0x00010001},
      {testing::HexText(9, 16), 0x00010002, JobOutcome::VerifyFailed, 0x00010002},
      {withVersionWord, 0x00010001, JobOutcome::VerifyFailed, 0x00010002},
  };
  for (const auto& c : cases) {
    JobBench bench;
    bench.source = SmallPackage(
        ImagePresenceFlags{true, true, false, false, false, false, false, false}, c.hex);
    bench.options.verifyApplicationVersion = true;
    bench.options.fallbackApplicationVersion = c.fallback;
    const JobResult result = bench.Update();
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.applicationVersionExpected, c.expected);
    EXPECT_EQ(result.applicationVersionAfter, 0x00010001u);
    const Codes sent = bench.log->Commands();
    const Codes tail = c.outcome == JobOutcome::Succeeded ? Codes{0x87, 0x8C, 0x89, 0x84}
                                                          : Codes{0x87, 0x8C, 0x89};
    ASSERT_GE(sent.size(), tail.size());
    EXPECT_EQ(Codes(sent.end() - static_cast<std::ptrdiff_t>(tail.size()), sent.end()), tail);
  }
}

TEST(JobMessages, EachProgressTextCarriesItsOwnText) {
  auto window = std::make_shared<RecordingMessageTarget>();
  JobMessages messages(window, Package::Load(MemoryPackageSource{}));
  messages.StageBegan(Stage::Application, 10);
  messages.StageBegan(Stage::FlashData, 10);
  messages.StageBegan(Stage::FactoryDefaults, 10);
  const auto posted = window->Messages();
  ASSERT_EQ(posted.size(), 3u);
  EXPECT_EQ(posted[0].text, "Progress: Application");
  EXPECT_EQ(posted[1].text, "Progress: UI");
  EXPECT_EQ(posted[2].text, "Progress: Factory Defaults");
  for (const auto& m : posted) {
    EXPECT_EQ(m.code, WM_APP_PROGRESS_TEXT);
    EXPECT_EQ(m.wParam, 0u);
  }
}

TEST(WindowJobThread, RunsOneJobAtATimeAndJoins) {
  ManualClock clock;
  auto log = std::make_shared<UnitLog>();
  auto window = std::make_shared<RecordingMessageTarget>();
  auto package = Package::Load(MemoryPackageSource{});
  JobOptions options;  // the system clock: the job's closing pause is real
  WindowJobThread thread;
  EXPECT_FALSE(thread.Running());
  ASSERT_TRUE(thread.Start(WindowJob::ExitBootload, MakeScriptedUnit(clock, GoodUnit, log), package,
                           options, window));
  // The job pauses after its result message, so it is still running here.
  ASSERT_TRUE(window->WaitFor(WM_APP_BOOTLOAD_EXITED, 5000));
  EXPECT_FALSE(thread.Start(WindowJob::ExitBootload, nullptr, package, options, window));
  thread.Wait();
  EXPECT_FALSE(thread.Running());
  EXPECT_EQ(log->Commands(), (Codes{0x01, 0x8B}));
  EXPECT_EQ(window->Codes(), (std::vector<std::uint32_t>{WM_APP_BOOTLOAD_EXITED}));
}

}  // namespace
}  // namespace tessaline
