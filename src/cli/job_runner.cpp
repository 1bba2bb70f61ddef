// The CLI's side of a job: progress into Output, the frame trace and the outcome's report.
#include "cli/job_runner.h"

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/exit_codes.h"
#include "platform/clock.h"
#include "strings/ui_strings.h"

namespace tessaline::cli {

FrameTraceHook FrameTrace(std::string unitLabel) {
  auto first = std::make_shared<std::optional<std::uint32_t>>();
  if (!unitLabel.empty()) unitLabel += ": ";
  return [first, unitLabel](TraceDirection direction, std::span<const std::uint8_t> bytes,
                            std::uint32_t tick) {
    if (!*first) *first = tick;
    const std::uint32_t ms = platform::TicksBetween(**first, tick);
    std::string line = unitLabel;
    line.reserve(unitLabel.size() + 32 + bytes.size() * 3);
    char head[48];
    std::snprintf(head, sizeof head, "[%6" PRIu32 ".%03" PRIu32 "] %s %4zu:", ms / 1000, ms % 1000,
                  direction == TraceDirection::Sent ? "->" : "<-", bytes.size());
    line += head;
    for (const std::uint8_t byte : bytes) {
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02X", byte);
      line += hex;
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
  };
}

void OutputProgress::StageBegan(Stage stage, std::uint32_t units) {
  const std::string name = StageName(stage);
  output_.Stage(name, ProgressText(name), units, platform::TickCount());
}

void OutputProgress::PlanReady(std::uint32_t totalUnits) { output_.Range(totalUnits); }

void OutputProgress::PositionMoved(std::uint32_t position) {
  output_.Position(position, platform::TickCount());
}

int ReportUnopenedPort(Output& output, const std::string& why) {
  JobResult unopened;
  unopened.outcome = JobOutcome::PortUnavailable;
  unopened.reason = why;
  const OutcomeReport report = VerdictOf(unopened, {});
  output.Result(report.result, report.text, report.exitCode);
  return report.exitCode;
}

}  // namespace tessaline::cli
