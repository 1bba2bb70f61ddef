// The rack's scheduler: one thread per running unit, a slot limit and a failure budget.
#include "update/rack_run.h"

#include <condition_variable>
#include <exception>
#include <list>
#include <mutex>

#include "platform/threading.h"

namespace tessaline {

namespace {

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

std::vector<RackUnitResult> RunRack(const std::vector<UnitAddress>& units, const UnitJob& job,
                                    const RackLimits& limits, RackObserver& observer,
                                    const RackStops& stops) {
  std::vector<RackUnitResult> results(units.size());
  const std::size_t slots = limits.parallel == 0 ? units.size() : limits.parallel;
  std::mutex lock;
  std::condition_variable changed;
  std::size_t running = 0;
  std::size_t failures = 0;
  bool cannotStart = false;
  const std::stop_token& stop = stops.stop;
  const std::stop_token& noNewUnits = stops.noNewUnits;
  const auto startsNoMore = [&] {
    return stop.stop_requested() || noNewUnits.stop_requested() || cannotStart ||
           (limits.maxFailures != 0 && failures >= limits.maxFailures);
  };
  // Wake the scheduler on an interrupt or a hang-up while it waits for a slot.
  const auto wakeScheduler = [&] {
    std::lock_guard guard(lock);
    changed.notify_all();
  };
  std::stop_callback wakeOnStop(stop, wakeScheduler);
  std::stop_callback wakeOnHangUp(noNewUnits, wakeScheduler);

  // Destroyed (joined) before `results` and the lock go away: declared after them.
  std::list<platform::JoinedThread> threads;
  std::size_t next = 0;
  {
    std::unique_lock guard(lock);
    while (next < units.size()) {
      changed.wait(guard, [&] { return running < slots || startsNoMore(); });
      if (startsNoMore()) break;
      const std::size_t unit = next++;
      try {
        threads.emplace_back([&, unit] {
          platform::ThreadNameHook("rack_unit_thread");
          UnitEvents events(unit, observer, lock);
          std::optional<StageNoting> noted;
          if (stops.stages != nullptr) noted.emplace(*stops.stages, units[unit].Label(), events);
          JobObserver& told = noted ? static_cast<JobObserver&>(*noted) : events;
          UnitUpdateReport report = job(units[unit], told, stop);
          std::lock_guard done(lock);
          if (CountsAsFailure(report)) ++failures;
          observer.UnitFinished(unit, report);
          results[unit].report = std::move(report);
          --running;
          changed.notify_all();
        });
      } catch (const std::exception& failure) {
        // Out of threads: the units already running still finish; no other is tried.
        observer.UnitMessage(unit, std::string("could not be started: ") + failure.what());
        observer.UnitSkipped(unit);
        cannotStart = true;
        break;
      }
      // The unit's thread reports through the lock held here, so it is told as started first.
      ++running;
      results[unit].started = true;
      observer.UnitStarted(unit);
    }
    // A budget spent while the last slot was waited for still leaves the rest unstarted.
    changed.wait(guard, [&] { return running == 0; });
    for (std::size_t unit = next; unit < units.size(); ++unit) observer.UnitSkipped(unit);
  }
  threads.clear();
  return results;
}

}  // namespace tessaline
