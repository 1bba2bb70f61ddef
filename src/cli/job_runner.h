// Runs one job on a worker thread while the main thread shows its messages.
#pragma once

#include <cstdint>
#include <functional>

#include "cli/output.h"
#include "link/bootloader_link.h"
#include "shell/unit_request.h"
#include "update/jobs.h"

namespace tessaline::cli {

// Prints every frame crossing `link` on stderr: time since the first frame, direction, bytes.
void InstallFrameTrace(BootloaderLink& link);

// Called when the job announces its progress range, while the job waits for the answer (so it
// may read what the job has loaded): tells `output` the size of each stage.
using StagePlan = std::function<void(Output&)>;

// Starts `job` on its own thread with a request reporting to a queue, and turns the queue's
// messages into `output` (progress text, range, position) until the job has ended.
JobOutcome RunJobWithProgress(const std::function<JobOutcome(UnitRequest)>& job,
                              std::unique_ptr<Transport> transport, Output& output,
                              const StagePlan& plan = {});

// The exit code and the text the desktop program would show for an outcome.
struct OutcomeReport {
  int exitCode;
  const char* result;  // "succeeded", "failed", "no-response", ...
  std::string text;
};
OutcomeReport ReportFor(JobOutcome outcome);

}  // namespace tessaline::cli
