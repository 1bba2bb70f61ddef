// The rack run's rows, written by the units' threads and taken by the rack window.
#include "ui/rack_board.h"

#include "ui/messages.h"

namespace tessaline {

RackBoard::RackBoard(std::size_t units, std::shared_ptr<MessageTarget> target)
    : rows_(units), posted_(units, false), target_(std::move(target)) {}

RackRowFacts RackBoard::Take(std::size_t unit) {
  std::lock_guard guard(lock_);
  if (unit >= rows_.size()) return {};
  posted_[unit] = false;
  return rows_[unit];
}

void RackBoard::RunEnded() { target_->Post({WM_APP_RACK_RUN_ENDED, 0, 0, {}}); }

template <typename Change>
void RackBoard::Write(std::size_t unit, Change&& change) {
  {
    std::lock_guard guard(lock_);
    if (unit >= rows_.size()) return;
    change(rows_[unit]);
    if (posted_[unit]) return;
    posted_[unit] = true;
  }
  // Posted outside the lock: a window's queue that waits for room must not hold up Take.
  target_->Post({WM_APP_RACK_ROW_CHANGED, unit, 0, {}});
}

void RackBoard::UnitStarted(std::size_t unit) {
  Write(unit, [](RackRowFacts& row) { row.state = RackRowState::Running; });
}

void RackBoard::StageBegan(std::size_t unit, Stage stage, std::uint32_t /*units*/) {
  Write(unit, [&](RackRowFacts& row) { row.stage = stage; });
}

void RackBoard::PlanReady(std::size_t unit, std::uint32_t totalUnits) {
  Write(unit, [&](RackRowFacts& row) { row.total = totalUnits; });
}

void RackBoard::PositionMoved(std::size_t unit, std::uint32_t position) {
  Write(unit, [&](RackRowFacts& row) { row.position = position; });
}

void RackBoard::UnitFinished(std::size_t unit, const UnitUpdateReport& report) {
  Write(unit, [&](RackRowFacts& row) {
    row.state = RackRowState::Finished;
    row.report = report;
  });
}

void RackBoard::UnitSkipped(std::size_t unit) {
  Write(unit, [](RackRowFacts& row) { row.state = RackRowState::Skipped; });
}

void RackBoard::UnitMessage(std::size_t unit, std::string_view text) {
  Write(unit, [&](RackRowFacts& row) { row.message = std::string(text); });
}

}  // namespace tessaline
