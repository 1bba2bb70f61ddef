// The desktop program's job adapter: typed job events as the window's messages, its question
// before a downgrade, its job thread, and the Socket Error boxes of the adapters.
#include "ui/job_messages.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/message_box.h"
#include "support/manual_clock.h"
#include "support/memory_package.h"
#include "support/message_box_recorder.h"
#include "support/message_names.h"
#include "support/recording_job_observer.h"
#include "support/recording_message_target.h"
#include "ui/discovery_messages.h"
#include "ui/failure_boxes.h"
#include "ui/messages.h"
#include "update/scripted_unit.h"
#include "update/verdict.h"

namespace tessaline {
namespace {

using testing::GoodUnit;
using testing::MakeScriptedUnit;
using testing::ManualClock;
using testing::MemoryPackageSource;
using testing::UnitLog;
using Codes = std::vector<std::uint8_t>;

std::shared_ptr<const Package> EmptyPackage() { return Package::Load(MemoryPackageSource{}); }

TEST(JobMessages, EachProgressEventBecomesItsMessage) {
  auto window = std::make_shared<RecordingMessageTarget>();
  JobMessages messages(window, EmptyPackage());
  messages.StageBegan(Stage::Application, 10);
  messages.StageBegan(Stage::FlashData, 10);
  messages.StageBegan(Stage::FactoryDefaults, 10);
  messages.PlanReady(149);
  messages.PositionMoved(73);
  const auto posted = window->Messages();
  ASSERT_EQ(posted.size(), 5u);
  // Each text travels with its own message.
  EXPECT_EQ(posted[0].text, "Progress: Application");
  EXPECT_EQ(posted[1].text, "Progress: UI");
  EXPECT_EQ(posted[2].text, "Progress: Factory Defaults");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(posted[i].code, WM_APP_PROGRESS_TEXT);
    EXPECT_EQ(posted[i].wParam, 0u);
  }
  EXPECT_EQ(posted[3].code, WM_APP_PROGRESS_RANGE);
  EXPECT_EQ(posted[3].lParam, 149u);
  EXPECT_EQ(posted[4].code, WM_APP_PROGRESS_POS);
  EXPECT_EQ(posted[4].wParam, 73u);
}

TEST(JobMessages, FinishedPostsTheOldCodesAndTheVerdictForTheNewEndings) {
  struct Case {
    JobOutcome outcome;
    std::uint32_t code;
    bool success;  // WM_APP_JOB_ENDED's flag
  };
  const Case cases[] = {
      {JobOutcome::Succeeded, WM_APP_UPDATE_SUCCEEDED, false},
      {JobOutcome::UpdateFailed, WM_APP_UPDATE_FAILED, false},
      {JobOutcome::NoResponse, WM_APP_NO_RESPONSE, false},
      {JobOutcome::PortUnavailable, WM_APP_NO_RESPONSE, false},
      {JobOutcome::WrongResponse, WM_APP_WRONG_RESPONSE, false},
      {JobOutcome::BootloadExited, WM_APP_BOOTLOAD_EXITED, false},
      {JobOutcome::WrittenUnverified, WM_APP_JOB_ENDED, true},
      {JobOutcome::FinishedWithoutFirmware, WM_APP_JOB_ENDED, true},
      {JobOutcome::Declined, WM_APP_JOB_ENDED, false},
      {JobOutcome::Interrupted, WM_APP_JOB_ENDED, false},
      {JobOutcome::VerifyFailed, WM_APP_JOB_ENDED, false},
      {JobOutcome::PackageRefused, WM_APP_JOB_ENDED, false},
      {JobOutcome::FinalCommandRefused, WM_APP_JOB_ENDED, false},
      {JobOutcome::StillInBootloadMode, WM_APP_JOB_ENDED, false},
      {JobOutcome::NotConfirmed, WM_APP_JOB_ENDED, false},
  };
  const auto package = EmptyPackage();
  for (const auto& c : cases) {
    auto window = std::make_shared<RecordingMessageTarget>();
    JobResult result;
    result.outcome = c.outcome;
    result.reason = "the unit said so";
    result.stage = Stage::FlashData;  // left part way: the text says how to finish
    result.wroteFirmware = true;
    JobMessages(window, package).Finished(result);
    const auto posted = window->Messages();
    ASSERT_EQ(posted.size(), 1u) << ::testing::PrintToString(c.outcome);
    EXPECT_STREQ(MessageName(posted[0].code), MessageName(c.code))
        << ::testing::PrintToString(c.outcome);
    if (c.code != WM_APP_JOB_ENDED) continue;
    EXPECT_EQ(posted[0].text,
              VerdictOf(result, package->UpdaterTexts(), AgainWording::Window).text)
        << ::testing::PrintToString(c.outcome);
    // A window has no command to run again.
    EXPECT_EQ(posted[0].text.find("same command"), std::string::npos) << posted[0].text;
    EXPECT_FALSE(posted[0].text.empty());
    EXPECT_EQ(posted[0].wParam, c.success ? 1u : 0u) << ::testing::PrintToString(c.outcome);
  }
}

TEST(JobMessages, AllowDowngradeAsksTheWindowAndGoesOnOnlyWhenAllowed) {
  struct Case {
    std::int64_t answer;
    bool allowed;
  };
  const Case cases[] = {{kDowngradeAllowed, true}, {7 /* IDNO */, false}, {0, false}};
  for (const auto& c : cases) {
    auto window = std::make_shared<RecordingMessageTarget>(c.answer);
    JobMessages messages(window, EmptyPackage());
    EXPECT_EQ(messages.AllowDowngrade(0x00020000, 0x00010002), c.allowed) << c.answer;
    const auto asked = window->Messages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].code, WM_APP_CONFIRM_DOWNGRADE);
    EXPECT_EQ(asked[0].text,
              "The unit runs V2.0, newer than this package's V1.2. Write V1.2 over it?");
  }
  EXPECT_FALSE(JobMessages(nullptr, EmptyPackage()).AllowDowngrade(0x00020000, 0x00010002))
      << "a window that is gone allows nothing";
}

TEST(WindowJobThread, RunsOneJobAtATimeAndJoins) {
  ManualClock clock;
  auto log = std::make_shared<UnitLog>();
  auto window = std::make_shared<RecordingMessageTarget>();
  auto package = EmptyPackage();
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

TEST(WindowJobThread, TheWindowsUpdateTakesThePackagesPolicy) {
  // A package without a build version cannot tell a newer unit from an older one: the window's
  // update is refused before the unit is contacted, as the command line's is.
  ManualClock clock;
  auto log = std::make_shared<UnitLog>();
  auto window = std::make_shared<RecordingMessageTarget>();
  JobOptions options;
  options.clock = &clock;
  WindowJobThread thread;
  ASSERT_TRUE(thread.Start(WindowJob::Update, MakeScriptedUnit(clock, GoodUnit, log),
                           EmptyPackage(), options, window));
  thread.Wait();
  EXPECT_TRUE(log->requests.empty());
  const auto posted = window->Messages();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].code, WM_APP_JOB_ENDED);
  EXPECT_EQ(posted[0].wParam, 0u);
  EXPECT_EQ(posted[0].text.rfind("The package cannot update firmware: ", 0), 0u) << posted[0].text;
}

TEST(SocketErrorBoxes, TheDesktopProgramShowsTheBoxesItAlwaysShowed) {
  testing::MessageBoxRecorder boxes;
  const SocketFailure broadcast{IDS_BROADCAST_FAILED, "Permission denied"};
  const SocketFailure timeout{IDS_RECEIVE_TIMEOUT_FAILED, "Invalid argument"};
  auto window = std::make_shared<RecordingMessageTarget>();
  DiscoveryMessages(window).NetworkSearchFailed(broadcast);
  VersionMessages(window).SocketFailed(timeout);
  JobResult job;
  job.outcome = JobOutcome::PortUnavailable;
  job.socketFailure = SocketFailure{IDS_SOCKET_CREATION_FAILED, "Too many open files"};
  JobMessages(window, EmptyPackage()).Finished(job);
  for (auto outcome :
       {platform::FirewallRuleOutcome::NotAttempted, platform::FirewallRuleOutcome::AddFailed,
        platform::FirewallRuleOutcome::AccessDenied}) {
    ShowFirewallRuleBox(window.get(), {outcome, "Access is denied"});
  }

  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 4u);
  const char* socketTexts[] = {"Failed to set broadcast mode.",
                               "Failed to set the receive time out.", "Socket creation failed."};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(shown[i].caption, "Socket Error");
    EXPECT_EQ(shown[i].text, socketTexts[i]) << "the system's words stay out of the box";
    EXPECT_EQ(shown[i].icon, platform::MessageBoxIcon::Error);
    EXPECT_EQ(shown[i].owner, nullptr);
  }
  EXPECT_EQ(window->Codes(), std::vector<std::uint32_t>{WM_APP_NO_RESPONSE}) << "after the box";
  EXPECT_EQ(shown[3].caption, "Error adding Firewall Rule");
  EXPECT_EQ(shown[3].text.size(), 227u);
  EXPECT_EQ(shown[3].icon, platform::MessageBoxIcon::Warning);
  EXPECT_EQ(shown[3].owner, window.get());
}

}  // namespace
}  // namespace tessaline
