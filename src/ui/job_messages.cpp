// Typed job events to the main window's messages, and the main window's job thread.
#include "ui/job_messages.h"

#include <system_error>

#include "platform/threading.h"
#include "strings/ui_strings.h"
#include "ui/failure_boxes.h"
#include "ui/messages.h"

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
  switch (result.outcome) {
    case JobOutcome::Succeeded:
      return PostCode(*window_, WM_APP_UPDATE_SUCCEEDED);
    case JobOutcome::UpdateFailed:
      return PostCode(*window_, WM_APP_UPDATE_FAILED);
    case JobOutcome::NoResponse:
    case JobOutcome::PortUnavailable:  // the window has always shown no response for it
      return PostCode(*window_, WM_APP_NO_RESPONSE);
    case JobOutcome::WrongResponse:
      return PostCode(*window_, WM_APP_WRONG_RESPONSE);
    case JobOutcome::BootloadExited:
      return PostCode(*window_, WM_APP_BOOTLOAD_EXITED);
    case JobOutcome::Declined:
    case JobOutcome::Interrupted:
    case JobOutcome::VerifyFailed:
      return;  // the window never asks for these
  }
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
      JobMessages messages(std::move(window));
      if (kind == WindowJob::Update) {
        RunUpdateJob(std::move(transport), *package, options, messages);
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
