// The CLI's side of a job: its thread, the message queue drain and the frame trace.
#include "cli/job_runner.h"

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/exit_codes.h"
#include "package/package_globals.h"
#include "platform/clock.h"
#include "platform/threading.h"
#include "shell/messages.h"
#include "shell/ui_strings.h"

namespace tessaline::cli {

namespace {
// Queued after the job body returns; no worker message has code 0.
constexpr std::uint32_t kJobEndedMarker = 0;
// The drain wakes this often even when nothing arrives.
constexpr std::uint32_t kDrainWaitMs = 250;

std::string StageOf(const std::string& progressText) {
  const std::string prefix = ProgressText("");
  if (progressText.compare(0, prefix.size(), prefix) == 0)
    return progressText.substr(prefix.size());
  return progressText;
}
}  // namespace

void InstallFrameTrace(BootloaderLink& link) {
  auto first = std::make_shared<std::optional<std::uint32_t>>();
  link.SetTraceHook(
      [first](TraceDirection direction, std::span<const std::uint8_t> bytes, std::uint32_t tick) {
        if (!*first) *first = tick;
        const std::uint32_t ms = platform::TicksBetween(**first, tick);
        std::string line;
        line.reserve(32 + bytes.size() * 3);
        char head[48];
        std::snprintf(head, sizeof head, "[%6" PRIu32 ".%03" PRIu32 "] %s %4zu:", ms / 1000,
                      ms % 1000, direction == TraceDirection::Sent ? "->" : "<-", bytes.size());
        line += head;
        for (const std::uint8_t byte : bytes) {
          char hex[4];
          std::snprintf(hex, sizeof hex, " %02X", byte);
          line += hex;
        }
        line += '\n';
        std::fputs(line.c_str(), stderr);
      });
}

JobOutcome RunJobWithProgress(const std::function<JobOutcome(UnitRequest)>& job,
                              std::unique_ptr<Transport> transport, Output& output,
                              const StagePlan& plan) {
  auto queue = std::make_shared<QueueMessageTarget>();
  JobOutcome outcome = JobOutcome::NoResponse;
  {
    UnitRequest request{queue, std::move(transport)};
    platform::JoinedThread worker([&outcome, &job, &queue, request = std::move(request)]() mutable {
      outcome = job(std::move(request));
      queue->Post(WorkerMessage{kJobEndedMarker, 0, 0, {}});
    });
    for (;;) {
      auto message = queue->Next(kDrainWaitMs);
      if (!message) continue;
      const std::uint32_t now = platform::TickCount();
      const std::uint32_t code = message->code;
      switch (code) {
        case WM_APP_PROGRESS_TEXT:
          output.Stage(StageOf(message->text), message->text, now);
          break;
        case WM_APP_PROGRESS_RANGE:
          output.Range(static_cast<std::uint32_t>(message->lParam));
          if (plan) plan(output);
          break;
        case WM_APP_PROGRESS_POS:
          output.Position(static_cast<std::uint32_t>(message->wParam), now);
          break;
        default:
          break;  // result messages: the outcome comes back from the job itself
      }
      queue->Handled();
      if (code == kJobEndedMarker) break;
    }
  }
  queue->Close();
  return outcome;
}

OutcomeReport ReportFor(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Succeeded:
      return {kExitSuccess, "succeeded", UiString(IDS_UPDATE_SUCCEEDED)};
    case JobOutcome::BootloadExited:
      return {kExitSuccess, "bootload-exited", UiString(IDS_BOOTLOAD_EXITED)};
    case JobOutcome::UpdateFailed:
      return {kExitUpdateFailed, "failed", UiString(IDS_UPDATE_FAILED)};
    case JobOutcome::NoResponse:
      return {kExitNoResponse, "no-response",
              UpdaterProperties().GetString("error-message.NoResponse")};
    case JobOutcome::WrongResponse:
      return {kExitWrongResponse, "wrong-response",
              UpdaterProperties().GetString("error-message.WrongResponse")};
    case JobOutcome::Declined:
      return {kExitDeclined, "declined", ""};
  }
  return {kExitUpdateFailed, "failed", UiString(IDS_UPDATE_FAILED)};
}

}  // namespace tessaline::cli
