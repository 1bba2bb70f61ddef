// Running one job per unit at once: each on its own thread with its own link, at most `parallel`
// at a time, no new unit started once `maxFailures` units have failed or the front end asked for
// no more. The command line's rack and the desktop program's rack window both run through this.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "transport/unit_address.h"
#include "update/jobs.h"
#include "update/recorded_update.h"
#include "update/unit_stages.h"

namespace tessaline {

// Units at once unless the user says otherwise: enough for a full rack to go at once, few enough
// that a long list of units starts in turns (so a failure budget can act) and the threads and
// sockets of one run stay modest.
inline constexpr std::size_t kDefaultParallelUnits = 16;

// The most units a rack runs at once, and the largest failure budget it takes.
inline constexpr std::size_t kMaxRackUnits = 1024;

struct RackLimits {
  std::size_t parallel = kDefaultParallelUnits;
  std::size_t maxFailures = 0;  // 0: no budget, every unit runs
};
// What ends a rack early. `stop` (an interrupt) stops every running job at its next exchange and
// starts no other unit; `noNewUnits` (a hang-up, or the interrupt) starts no other unit and lets
// the running ones finish. `stages`, when given, is told where each running unit stands.
struct RackStops {
  std::stop_token stop;
  std::stop_token noNewUnits;
  UnitStages* stages = nullptr;
};

// What became of one unit of the rack.
struct RackUnitResult {
  bool started = false;                    // false: skipped, never contacted
  std::optional<UnitUpdateReport> report;  // set once its job returned
};

// What the runner tells its front end. Calls come from the units' threads and from the caller's;
// the runner never makes two at once.
class RackObserver {
 public:
  virtual ~RackObserver() = default;
  virtual void UnitStarted(std::size_t /*unit*/) {}
  virtual void StageBegan(std::size_t /*unit*/, Stage /*stage*/, std::uint32_t /*units*/) {}
  virtual void PlanReady(std::size_t /*unit*/, std::uint32_t /*totalUnits*/) {}
  virtual void PositionMoved(std::size_t /*unit*/, std::uint32_t /*position*/) {}
  virtual void UnitFinished(std::size_t /*unit*/, const UnitUpdateReport& /*report*/) {}
  virtual void UnitSkipped(std::size_t /*unit*/) {}
  virtual void UnitMessage(std::size_t /*unit*/, std::string_view /*text*/) {}
};

// One unit's whole job on the calling thread (an update, or exit-bootload).
using UnitJob = std::function<UnitUpdateReport(const UnitAddress&, JobObserver&, std::stop_token)>;

// Runs `job` for every unit, in list order as slots free up, and returns when every started job
// has returned. A unit whose thread cannot be started is told as a message and reported skipped,
// and no further unit is started. Never throws.
std::vector<RackUnitResult> RunRack(const std::vector<UnitAddress>& units, const UnitJob& job,
                                    const RackLimits& limits, RackObserver& observer,
                                    const RackStops& stops);

}  // namespace tessaline
