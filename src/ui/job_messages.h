// The desktop program's side of a job: typed job events as window messages, and the job thread.
#pragma once

#include <atomic>
#include <memory>

#include "platform/threading.h"
#include "ui/message_target.h"
#include "package/package.h"
#include "update/jobs.h"

namespace tessaline {

// Stage texts, the range (sent), positions and the result, posted as the window expects; the
// question before a downgrade, sent.
class JobMessages final : public JobObserver {
 public:
  // `package`: the one the job runs with, whose texts word its verdicts.
  JobMessages(std::shared_ptr<MessageTarget> window, std::shared_ptr<const Package> package)
      : window_(std::move(window)), package_(std::move(package)) {}
  void StageBegan(Stage stage, std::uint32_t units) override;
  void PlanReady(std::uint32_t totalUnits) override;
  void PositionMoved(std::uint32_t position) override;
  void Finished(const JobResult& result) override;
  // The window's answer to "write the older version over the newer one?"; false when it is gone.
  bool AllowDowngrade(std::uint32_t unitVersion, std::uint32_t packageVersion);

 private:
  std::shared_ptr<MessageTarget> window_;  // kept alive for the whole job
  std::shared_ptr<const Package> package_;
};

enum class WindowJob { Update, ExitBootload };

// Runs one job of the main window on its own thread, reporting through JobMessages. At most one
// at a time: Start refuses while a job is still running.
class WindowJobThread {
 public:
  WindowJobThread() = default;
  ~WindowJobThread() { Wait(); }
  WindowJobThread(const WindowJobThread&) = delete;
  WindowJobThread& operator=(const WindowJobThread&) = delete;

  // False when a job is running or no thread could be started (then no message follows).
  bool Start(WindowJob kind, std::unique_ptr<Transport> transport,
             std::shared_ptr<const Package> package, JobOptions options,
             std::shared_ptr<MessageTarget> window);
  void Wait() { thread_.Join(); }
  // True from Start until the job body has returned.
  bool Running() const { return running_.load(); }

 private:
  std::atomic<bool> running_{false};
  platform::JoinedThread thread_;
};

}  // namespace tessaline
