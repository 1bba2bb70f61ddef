// The rack's scheduler: one thread per running unit, a slot limit and a failure budget.
#include "cli/rack_runner.h"

#include <condition_variable>
#include <list>
#include <mutex>

#include "platform/threading.h"

namespace tessaline::cli {

namespace {

constexpr std::uint32_t kMaxRackUnits = 1024;

// Forwards one unit's job events to the rack observer under the rack's lock.
class UnitEvents final : public JobObserver {
 public:
  UnitEvents(std::size_t unit, RackObserver& rack, std::mutex& lock)
      : unit_(unit), rack_(rack), lock_(lock) {}
  void StageBegan(Stage stage, std::uint32_t units) override {
    std::lock_guard guard(lock_);
    rack_.StageBegan(unit_, stage, units);
  }
  void PlanReady(std::uint32_t totalUnits) override {
    std::lock_guard guard(lock_);
    rack_.PlanReady(unit_, totalUnits);
  }
  void PositionMoved(std::uint32_t position) override {
    std::lock_guard guard(lock_);
    rack_.PositionMoved(unit_, position);
  }
  void Message(std::string_view text) override {
    std::lock_guard guard(lock_);
    rack_.UnitMessage(unit_, text);
  }

 private:
  std::size_t unit_;
  RackObserver& rack_;
  std::mutex& lock_;
};

// A unit's failure counts against the budget; a unit the version guard declined does not, as
// nothing was erased and nothing went wrong.
bool CountsAsFailure(const UnitUpdateReport& report) {
  return report.outcome.exitCode != 0 && report.job.outcome != JobOutcome::Declined;
}

}  // namespace

std::optional<RackLimits> RackLimitsFrom(const CommandLine& line, std::string& error) {
  RackLimits limits;
  if (line.Has("parallel")) {
    const auto value = line.Number("parallel", 1, kMaxRackUnits, error);
    if (!value) return std::nullopt;
    limits.parallel = *value;
  }
  if (line.Has("max-failures")) {
    const auto value = line.Number("max-failures", 1, kMaxRackUnits, error);
    if (!value) return std::nullopt;
    limits.maxFailures = *value;
  }
  return limits;
}

std::vector<RackUnitResult> RunRack(const std::vector<UnitAddress>& units, const UnitJob& job,
                                    const RackLimits& limits, RackObserver& observer,
                                    std::stop_token stop) {
  std::vector<RackUnitResult> results(units.size());
  const std::size_t slots = limits.parallel == 0 ? units.size() : limits.parallel;
  std::mutex lock;
  std::condition_variable changed;
  std::size_t running = 0;
  std::size_t failures = 0;
  // Wakes the scheduler on an interrupt while it waits for a slot.
  std::stop_callback wake(stop, [&] {
    std::lock_guard guard(lock);
    changed.notify_all();
  });

  // Destroyed (joined) before `results` and the lock go away: declared after them.
  std::list<platform::JoinedThread> threads;
  std::size_t next = 0;
  {
    std::unique_lock guard(lock);
    while (next < units.size()) {
      changed.wait(guard, [&] { return running < slots || stop.stop_requested(); });
      if (stop.stop_requested()) break;
      if (limits.maxFailures != 0 && failures >= limits.maxFailures) break;
      const std::size_t unit = next++;
      ++running;
      results[unit].started = true;
      observer.UnitStarted(unit);
      threads.emplace_back([&, unit] {
        platform::ThreadNameHook("rack_unit_thread");
        UnitEvents events(unit, observer, lock);
        UnitUpdateReport report = job(units[unit], events, stop);
        std::lock_guard done(lock);
        if (CountsAsFailure(report)) ++failures;
        observer.UnitFinished(unit, report);
        results[unit].report = std::move(report);
        --running;
        changed.notify_all();
      });
    }
    // A budget spent while the last slot was waited for still leaves the rest unstarted.
    changed.wait(guard, [&] { return running == 0; });
    for (std::size_t unit = next; unit < units.size(); ++unit) observer.UnitSkipped(unit);
  }
  threads.clear();
  return results;
}

}  // namespace tessaline::cli
