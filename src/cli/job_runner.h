// The command line's side of a job: progress into Output, the frame trace, the outcome's report.
#pragma once

#include <string>

#include "cli/output.h"
#include "link/bootloader_link.h"
#include "package/properties_container.h"
#include "update/jobs.h"
#include "update/verdict.h"

namespace tessaline::cli {

// Prints every frame crossing the job's link on stderr: time since the first frame, direction,
// bytes. With several units at once each line begins with its unit ("127.0.0.5: [...").
FrameTraceHook FrameTrace(std::string unitLabel = {});

// A job's stages, range and positions as Output shows them; the job runs on the calling thread.
class OutputProgress final : public JobObserver {
 public:
  explicit OutputProgress(Output& output) : output_(output) {}
  void StageBegan(Stage stage, std::uint32_t units) override;
  void PlanReady(std::uint32_t totalUnits) override;
  void PositionMoved(std::uint32_t position) override;
  void Message(std::string_view text) override { output_.Line(text); }

 private:
  Output& output_;
};

// The exit code, result word and text of an outcome: the core's verdict.
using OutcomeReport = Verdict;
inline OutcomeReport ReportFor(const JobResult& result, const PropertiesContainer& updaterTexts) {
  return VerdictOf(result, updaterTexts);
}
// A unit's port that could not be opened, reported as a job reports it; returns the exit code.
int ReportUnopenedPort(Output& output, const std::string& why);

}  // namespace tessaline::cli
