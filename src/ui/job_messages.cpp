// Typed job events to the main window's messages, and the main window's job thread.
#include "ui/job_messages.h"

#include <system_error>

#include "platform/threading.h"
#include "strings/ui_strings.h"
#include "ui/failure_boxes.h"
#include "ui/messages.h"
#include "update/unit_update.h"
#include "update/verdict.h"
#include "link/bootloader_commands.h"

namespace tessaline {

namespace {
void PostCode(MessageTarget& window, std::uint32_t code) { window.Post({code, 0, 0, {}}); }
}  // namespace

void JobMessages::StageBegan(Stage stage, std::uint32_t /*units*/) {
  // The text travels inside the message, so a later stage can never overwrite an earlier one
  // still waiting in the queue.
  if (window_) window_->Post({WM_APP_PROGRESS_TEXT, 0, 0, ProgressText(StageName(stage))});
}

void JobMessages::PlanReady(std::uint32_t totalUnits) {
  if (window_) window_->Send({WM_APP_PROGRESS_RANGE, 0, totalUnits, {}});
}

void JobMessages::PositionMoved(std::uint32_t position) {
  if (window_) window_->Post({WM_APP_PROGRESS_POS, position, 0, {}});
}

void JobMessages::Finished(const JobResult& result) {
  if (!window_) return;
  // A port that was a socket that could not be set up: its box comes before the outcome's.
  if (result.socketFailure) ShowSocketErrorBox(*result.socketFailure);
  const auto ended = [&] {
    const Verdict verdict = VerdictOf(result, package_->UpdaterTexts(), AgainWording::Window);
    window_->Post({WM_APP_JOB_ENDED, verdict.exitCode == 0 ? 1u : 0u, 0, verdict.text});
  };
  switch (result.outcome) {
    case JobOutcome::Succeeded:
      return PostCode(*window_, WM_APP_UPDATE_SUCCEEDED);
    case JobOutcome::WrittenUnverified:
    case JobOutcome::FinishedWithoutFirmware:
    case JobOutcome::Declined:
    case JobOutcome::Interrupted:
    case JobOutcome::VerifyFailed:
    case JobOutcome::PackageRefused:
    case JobOutcome::FinalCommandRefused:
    case JobOutcome::StillInBootloadMode:
    case JobOutcome::NotConfirmed:
    case JobOutcome::PinRefused:
      return ended();
    case JobOutcome::UpdateFailed:
      return PostCode(*window_, WM_APP_UPDATE_FAILED);
    case JobOutcome::NoResponse:
    case JobOutcome::PortUnavailable:  // the window has always shown no response for it
      return PostCode(*window_, WM_APP_NO_RESPONSE);
    case JobOutcome::WrongResponse:
      return PostCode(*window_, WM_APP_WRONG_RESPONSE);
    case JobOutcome::BootloadExited:
      return PostCode(*window_, WM_APP_BOOTLOAD_EXITED);
  }
}

bool JobMessages::AllowDowngrade(std::uint32_t unitVersion, std::uint32_t packageVersion) {
  if (!window_) return false;
  const std::string question = "The unit runs V" + FormatApplicationVersion(unitVersion) +
                               ", newer than this package's V" +
                               FormatApplicationVersion(packageVersion) + ". Write V" +
                               FormatApplicationVersion(packageVersion) + " over it?";
  return window_->Ask({WM_APP_CONFIRM_DOWNGRADE, 0, 0, question}) == kDowngradeAllowed;
}

bool WindowJobThread::Start(WindowJob kind, std::unique_ptr<Transport> transport,
                            std::shared_ptr<const Package> package, JobOptions options,
                            std::shared_ptr<MessageTarget> window) {
  if (running_.load()) return false;
  thread_.Join();
  running_ = true;
  try {
    thread_ = platform::JoinedThread([this, kind, transport = std::move(transport),
                                      package = std::move(package), options = std::move(options),
                                      window = std::move(window)]() mutable {
      platform::ThreadNameHook(kind == WindowJob::Update ? "bootload_thread"
                                                         : "exit_bootload_thread");
      JobMessages messages(std::move(window), package);
      if (kind == WindowJob::Update) {
        // The window's update takes the same checks as the command line's, the question before
        // a downgrade standing in for --force.
        UnitUpdatePolicy policy;
        policy.job = options;
        policy.askBeforeDowngrade = [&](std::uint32_t unitVersion, std::uint32_t packageVersion) {
          return messages.AllowDowngrade(unitVersion, packageVersion);
        };
        UpdateUnit(std::move(transport), *package, policy, messages);
      } else {
        RunExitBootloadJob(std::move(transport), options, messages);
      }
      running_ = false;
    });
  } catch (const std::system_error&) {
    running_ = false;
    return false;
  }
  return true;
}

}  // namespace tessaline
