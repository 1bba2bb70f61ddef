// The rack run's facts per unit, kept for the rack window: the runner's threads write a unit's
// row and post WM_APP_RACK_ROW_CHANGED once; more news before the window took the row joins it,
// so sixteen units writing at full speed never flood the window's queue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/message_target.h"
#include "update/rack_run.h"

namespace tessaline {

enum class RackRowState { Waiting, Running, Finished, Skipped };

struct RackRowFacts {
  RackRowState state = RackRowState::Waiting;
  Stage stage = Stage::Initializing;
  std::uint32_t total = 0;                 // the plan's progress units; 0 before the plan
  std::uint32_t position = 0;              // within `total`
  std::string message;                     // the job's last message (entering bootload mode, ...)
  std::optional<UnitUpdateReport> report;  // once finished
};

class RackBoard final : public RackObserver {
 public:
  RackBoard(std::size_t units, std::shared_ptr<MessageTarget> target);

  // The row as it stands; the next change of this unit posts again.
  RackRowFacts Take(std::size_t unit);
  // The run returned: posts WM_APP_RACK_RUN_ENDED.
  void RunEnded();

  void UnitStarted(std::size_t unit) override;
  void StageBegan(std::size_t unit, Stage stage, std::uint32_t units) override;
  void PlanReady(std::size_t unit, std::uint32_t totalUnits) override;
  void PositionMoved(std::size_t unit, std::uint32_t position) override;
  void UnitFinished(std::size_t unit, const UnitUpdateReport& report) override;
  void UnitSkipped(std::size_t unit) override;
  void UnitMessage(std::size_t unit, std::string_view text) override;

 private:
  // Changes the unit's row and posts unless a message about it is still queued.
  template <typename Change>
  void Write(std::size_t unit, Change&& change);

  std::mutex lock_;
  std::vector<RackRowFacts> rows_;
  std::vector<bool> posted_;  // a message about the unit is queued and not yet taken
  std::shared_ptr<MessageTarget> target_;
};

}  // namespace tessaline
