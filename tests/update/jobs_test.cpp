// The programming steps and the two jobs against a scripted unit: wire order, events, mends.
#include "update/jobs.h"

#include <gtest/gtest.h>

#include <memory>
#include <stop_token>
#include <utility>

#include "package/hex_manager.h"
#include "support/manual_clock.h"
#include "support/memory_package.h"
#include "support/recording_job_observer.h"
#include "update/scripted_unit.h"
#include "update/test_images.h"
#include "update/unit_update.h"

namespace tessaline {
namespace {

using testing::GoodUnit;
using testing::IdentityReply;
using testing::JobEvent;
using testing::MakeScriptedUnit;
using testing::ManualClock;
using testing::MemoryPackageSource;
using testing::ReceivedRequest;
using testing::RecordingJobObserver;
using testing::UnitLog;
using Codes = std::vector<std::uint8_t>;
using Reply = std::optional<std::vector<std::uint8_t>>;

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

// One job against one scripted unit, its events recorded.
struct JobBench {
  ManualClock clock;
  std::shared_ptr<UnitLog> log = std::make_shared<UnitLog>();
  RecordingJobObserver events;
  MemoryPackageSource source =
      SmallPackage(ImagePresenceFlags{true, true, false, false, false, false, false, false});
  JobOptions options;

  JobBench() {
    options.clock = &clock;
    options.firmware = true;
    options.factoryDefaults = true;
    // The small images carry no version word; GoodUnit reports 1.1 before and after.
    options.fallbackApplicationVersion = 0x00010001;
  }

  std::unique_ptr<Transport> Unit(testing::Responder responder = GoodUnit) {
    return MakeScriptedUnit(clock, std::move(responder), log);
  }
  JobResult Update(testing::Responder responder = GoodUnit) {
    const auto package = Package::Load(source);
    return RunUpdateJob(Unit(std::move(responder)), *package, options, events);
  }
  JobResult Exit(testing::Responder responder = GoodUnit) {
    return RunExitBootloadJob(Unit(std::move(responder)), options, events);
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
                                         {0x87, 0x8C, 0x89, 0x84}}));
  EXPECT_EQ(bench.events.Plan(), 9u + 130u + 10u);
  EXPECT_EQ(bench.events.Positions(),
            (std::vector<std::uint32_t>{8, 9, 9 + 64, 9 + 128, 9 + 130, 9 + 130 + 10}));
  EXPECT_EQ(bench.events.Stages(), (std::vector<Stage>{Stage::Initializing, Stage::Application,
                                                       Stage::FlashData, Stage::FactoryDefaults}));
  EXPECT_TRUE(bench.events.FinishedOnceWith(JobOutcome::Succeeded));
  EXPECT_EQ(result.applicationVersionExpected, 0x00010001u);
  EXPECT_EQ(result.applicationVersionAfter, 0x00010001u);
  EXPECT_TRUE(result.wroteFirmware);
  EXPECT_TRUE(result.restoredFactoryDefaults);

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
  EXPECT_EQ(stages,
            (std::vector<Stage>{Stage::Initializing, Stage::Application, Stage::FlashData,
                                Stage::FactoryDefaults, Stage::Verifying, Stage::Finishing}));
  EXPECT_EQ(exchanges, bench.log->Commands().size());
  EXPECT_EQ(result.stages[1].exchanges, 5u);  // erase, begin, two batches, end
}

TEST(UpdateJob, TheOptionsChooseTheSteps) {
  struct Case {
    bool firmware;
    bool factoryDefaults;
    JobOutcome outcome;
    Codes wire;
    std::uint32_t range;
  };
  // Without firmware there is nothing to read back: the final command follows at once.
  const Case cases[] = {
      {false, false, JobOutcome::FinishedWithoutFirmware, {0x01, 0x89, 0x84}, 0},
      {false, true, JobOutcome::FinishedWithoutFirmware, {0x01, 0x89, 0x8C, 0x84}, 10},
      {true, false, JobOutcome::Succeeded,
       Join({{0x01, 0x89, 0x82, 0x8E},
             Times(0x83, 2),
             {0x8F, 0x85},
             Times(0x86, 3),
             {0x87, 0x89, 0x84}}),
       139},
  };
  for (const auto& c : cases) {
    JobBench bench;
    bench.options.firmware = c.firmware;
    bench.options.factoryDefaults = c.factoryDefaults;
    const JobResult result = bench.Update();
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.wroteFirmware, c.firmware);
    EXPECT_EQ(result.restoredFactoryDefaults, c.factoryDefaults);
    EXPECT_EQ(bench.log->Commands(), c.wire);
    EXPECT_EQ(bench.events.Plan(), c.range);
    EXPECT_TRUE(bench.events.FinishedOnceWith(c.outcome));
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
       Join({{0x01, 0x89, 0x85}, Times(0x86, 3), {0x87, 0x8C, 0x89, 0x84}})},
      {"own application, another variant's flash data",
       {true, false, false, true, false, false, false, false},
       JobOutcome::Succeeded,
       Join({{0x01, 0x89, 0x82, 0x8E}, Times(0x83, 2), {0x8F, 0x8C, 0x89, 0x84}})},
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
  EXPECT_TRUE(bench.events.FinishedOnceWith(JobOutcome::WrongResponse));
}

TEST(UpdateJob, RefusedUnitsEndWithTheirMessageAndNothingErased) {
  struct Case {
    const char* what;
    testing::Responder unit;
    JobOutcome outcome;
    Codes wire;
  };
  const Case cases[] = {
      {"silent", [](const ReceivedRequest&) { return std::nullopt; }, JobOutcome::NoResponse,
       Times(0x01, 5)},
      {"GD32 variant",
       [](const ReceivedRequest& r) {
         return (r.command & 0x7F) == 0x01 ? IdentityReply(1, 0, "Tessaline,GD32,ADAU1452")
                                           : GoodUnit(r);
       },
       JobOutcome::WrongResponse,
       {0x01, 0x89}},
      {"lower-case MCU family",
       [](const ReceivedRequest& r) {
         return (r.command & 0x7F) == 0x01 ? IdentityReply(1, 0, "Tessaline,stm32,ADAU1452")
                                           : GoodUnit(r);
       },
       JobOutcome::WrongResponse,
       {0x01, 0x89}},
      {"bootloader 4.1",
       [](const ReceivedRequest& r) {
         return (r.command & 0x7F) == 0x01 ? IdentityReply(4, 1, "Tessaline,STM32,ADAU1452")
                                           : GoodUnit(r);
       },
       JobOutcome::WrongResponse,
       {0x01}},
  };
  for (const auto& c : cases) {
    JobBench bench;
    EXPECT_EQ(bench.Update(c.unit).outcome, c.outcome) << c.what;
    EXPECT_EQ(bench.log->Commands(), c.wire) << c.what;
    EXPECT_EQ(bench.events.Kinds(),
              (std::vector<JobEvent::Kind>{JobEvent::Kind::StageBegan, JobEvent::Kind::Finished}))
        << c.what;
    EXPECT_TRUE(bench.events.FinishedOnceWith(c.outcome)) << c.what;
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
    EXPECT_TRUE(bench.events.FinishedOnceWith(JobOutcome::UpdateFailed)) << c.what;
    EXPECT_FALSE(result.wroteFirmware) << c.what;
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
  EXPECT_EQ(bench.events.Kinds(),
            (std::vector<JobEvent::Kind>{JobEvent::Kind::StageBegan, JobEvent::Kind::Finished}));
  EXPECT_TRUE(bench.events.FinishedOnceWith(JobOutcome::Declined));

  JobBench unitWithoutVersion;
  unitWithoutVersion.options.versionGuard = [&](const ApplicationReading& reading) {
    seen = reading;
    return GuardRefusal();
  };
  // No application before the writing; the version written, after it.
  bool asked = false;
  auto noVersion = [&](const ReceivedRequest& r) -> std::optional<std::vector<std::uint8_t>> {
    if ((r.command & 0x7F) == 0x09 && !std::exchange(asked, true)) {
      return std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF};
    }
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
  EXPECT_EQ(bench.events.Kinds(), (std::vector<JobEvent::Kind>{JobEvent::Kind::Finished}));
  EXPECT_TRUE(bench.events.FinishedOnceWith(JobOutcome::BootloadExited));

  JobBench silent;
  EXPECT_EQ(silent.Exit([](const ReceivedRequest&) { return std::nullopt; }).outcome,
            JobOutcome::NoResponse);
  EXPECT_TRUE(silent.events.FinishedOnceWith(JobOutcome::NoResponse));
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
  // The two chunks taken were told; the stop itself is told once, last.
  EXPECT_EQ(bench.events.LastPosition(), 9u + 128u);
  EXPECT_TRUE(bench.events.FinishedOnceWith(JobOutcome::Interrupted));
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
    EXPECT_TRUE(bench.events.FinishedOnceWith(JobOutcome::Interrupted)) << int{sent.back()};
  }
}

TEST(UpdateJob, TheFinalCommandMustBeKnownTaken) {
  // A silent final command is followed by a presence probe: a bootloader that still answers
  // missed it (resent, 3 tries in all); one that is silent too has reset into the application.
  struct Case {
    const char* what;
    int silentFinals;    // the first n final commands go unanswered (-1: all)
    bool probeAnswered;  // the bootloader answers the presence probe
    bool refuseFinal;
    JobOutcome outcome;
    Codes tail;  // from the read-back on
  };
  const Case cases[] = {
      {"taken", 0, true, false, JobOutcome::Succeeded, {0x89, 0x84}},
      {"refused", 0, true, true, JobOutcome::FinalCommandRefused, {0x89, 0x84}},
      {"unanswered, unit reset", -1, false, false, JobOutcome::Succeeded, {0x89, 0x84, 0x01, 0x01}},
      {"missed once", 1, true, false, JobOutcome::Succeeded, {0x89, 0x84, 0x01, 0x84}},
      {"never taken",
       -1,
       true,
       false,
       JobOutcome::StillInBootloadMode,
       {0x89, 0x84, 0x01, 0x84, 0x01, 0x84, 0x01}},
  };
  for (const auto& c : cases) {
    JobBench bench;
    int finals = 0;
    const JobResult result = bench.Update([&](const ReceivedRequest& r) -> Reply {
      if (r.command == 0x84) {
        ++finals;
        if (c.silentFinals < 0 || finals <= c.silentFinals) return std::nullopt;
        if (c.refuseFinal) return std::vector<std::uint8_t>{0};
      }
      if (r.command == 0x01 && finals > 0 && !c.probeAnswered) return std::nullopt;
      return GoodUnit(r);
    });
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(result.stage, Stage::Finishing) << c.what;
    EXPECT_TRUE(bench.events.FinishedOnceWith(c.outcome)) << c.what;
    const Codes sent = bench.log->Commands();
    ASSERT_GE(sent.size(), c.tail.size()) << c.what;
    EXPECT_EQ(Codes(sent.end() - static_cast<std::ptrdiff_t>(c.tail.size()), sent.end()), c.tail)
        << c.what;
  }
}

TEST(ExitBootloadJob, TheExitCommandMustBeKnownTakenToo) {
  JobBench refused;
  EXPECT_EQ(refused
                .Exit([](const ReceivedRequest& r) -> Reply {
                  return r.command == 0x8B ? std::vector<std::uint8_t>{0} : GoodUnit(r);
                })
                .outcome,
            JobOutcome::FinalCommandRefused);
  EXPECT_EQ(refused.log->Commands(), (Codes{0x01, 0x8B}));

  // The exit command goes out once an attempt, then the probe the bootloader answers.
  JobBench ignored;
  EXPECT_EQ(ignored
                .Exit([](const ReceivedRequest& r) -> Reply {
                  return r.command == 0x8B ? std::nullopt : GoodUnit(r);
                })
                .outcome,
            JobOutcome::StillInBootloadMode);
  const Codes attempt = {0x8B, 0x01};
  EXPECT_EQ(ignored.log->Commands(), Join({{0x01}, attempt, attempt, attempt}));
  EXPECT_TRUE(ignored.events.FinishedOnceWith(JobOutcome::StillInBootloadMode));
}

TEST(UpdateJob, WithoutAVersionToCompareTheWritingEndsUnverified) {
  struct Case {
    const char* what;
    bool verify;
    std::optional<std::uint32_t> fallback;
    Codes tail;
  };
  const Case cases[] = {
      {"read-back turned off", false, 0x00010001, {0x87, 0x8C, 0x84}},
      {"no version word and no fallback", true, std::nullopt, {0x87, 0x8C, 0x89, 0x84}},
  };
  for (const auto& c : cases) {
    JobBench bench;
    bench.options.verifyApplicationVersion = c.verify;
    bench.options.fallbackApplicationVersion = c.fallback;
    const JobResult result = bench.Update();
    EXPECT_EQ(result.outcome, JobOutcome::WrittenUnverified) << c.what;
    EXPECT_FALSE(result.reason.empty()) << c.what;
    EXPECT_TRUE(result.wroteFirmware) << c.what;
    const Codes sent = bench.log->Commands();
    ASSERT_GE(sent.size(), c.tail.size()) << c.what;
    EXPECT_EQ(Codes(sent.end() - static_cast<std::ptrdiff_t>(c.tail.size()), sent.end()), c.tail)
        << c.what;
  }
}

TEST(UpdateUnit, ThePackagesPolicyDecidesBeforeAnythingIsErased) {
  // GoodUnit runs 1.1. One Finished, after every check, whatever the ending.
  struct Case {
    const char* what;
    const char* buildVersion;  // none: the package names none
    bool force;
    std::optional<bool> allowDowngrade;  // none: no question to ask
    JobOutcome outcome;
    Codes wire;
    std::size_t messages;  // the note about writing the same version again
  };
  const Codes fullWire = Join({{0x01, 0x89, 0x82, 0x8E},
                               Times(0x83, 2),
                               {0x8F, 0x85},
                               Times(0x86, 3),
                               {0x87, 0x8C, 0x89, 0x84}});
  const Case cases[] = {
      {"no build version", nullptr, false, std::nullopt, JobOutcome::PackageRefused, {}, 0},
      {"unreadable build version", "1.x", false, std::nullopt, JobOutcome::PackageRefused, {}, 0},
      {"forced, nothing to compare", nullptr, true, std::nullopt, JobOutcome::WrittenUnverified,
       fullWire, 0},
      {"the same version", "V1.1", false, std::nullopt, JobOutcome::Succeeded, fullWire, 1},
      {"newer package", "V1.2", false, std::nullopt, JobOutcome::VerifyFailed,
       Join({{0x01, 0x89, 0x82, 0x8E},
             Times(0x83, 2),
             {0x8F, 0x85},
             Times(0x86, 3),
             {0x87, 0x8C, 0x89}}),
       0},
      {"older package, nobody to ask",
       "V1.0",
       false,
       std::nullopt,
       JobOutcome::Declined,
       {0x01, 0x89},
       0},
      {"older package, downgrade refused",
       "V1.0",
       false,
       false,
       JobOutcome::Declined,
       {0x01, 0x89},
       0},
  };
  for (const auto& c : cases) {
    JobBench bench;
    if (c.buildVersion != nullptr) {
      bench.source.Add("PROPERTIES", "UNIT", std::string("build-version = ") + c.buildVersion);
    }
    UnitUpdatePolicy policy;
    policy.job = bench.options;
    policy.job.fallbackApplicationVersion.reset();  // the package's build version stands in
    policy.force = c.force;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> asked;
    if (c.allowDowngrade) {
      policy.askBeforeDowngrade = [&](std::uint32_t unit, std::uint32_t package) {
        asked.emplace_back(unit, package);
        return *c.allowDowngrade;
      };
    }
    const auto package = Package::Load(bench.source);
    const JobResult result = UpdateUnit(bench.Unit(), *package, policy, bench.events);
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(bench.log->Commands(), c.wire) << c.what;
    EXPECT_TRUE(bench.events.FinishedOnceWith(c.outcome)) << c.what;
    EXPECT_EQ(bench.events.Messages().size(), c.messages) << c.what;
    if (c.allowDowngrade) {
      EXPECT_EQ(asked,
                (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0x00010001, 0x00010000}}))
          << c.what;
    }
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

}  // namespace
}  // namespace tessaline
