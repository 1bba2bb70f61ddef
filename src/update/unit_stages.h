// Where each unit whose job runs stands, so a front end that must end at once can say what it
// leaves each unit in.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "update/jobs.h"

namespace tessaline {

// Where each unit whose job runs stands: what the program says when it must end at once.
class UnitStages {
 public:
  void Began(const std::string& unit, Stage stage);
  void Ended(const std::string& unit);
  // One line per unit still in its job ("127.0.0.5: ended at once while ..."); empty when none.
  std::string EndedAtOnceText() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::pair<std::string, Stage>> running_;  // in the order the units began
};

// Forwards a job's events to `inner` and tells `stages` where the unit stands.
class StageNoting final : public JobObserver {
 public:
  StageNoting(UnitStages& stages, std::string unit, JobObserver& inner);
  void StageBegan(Stage stage, std::uint32_t units) override;
  void PlanReady(std::uint32_t totalUnits) override { inner_.PlanReady(totalUnits); }
  void PositionMoved(std::uint32_t position) override { inner_.PositionMoved(position); }
  void Finished(const JobResult& result) override;
  void Message(std::string_view text) override { inner_.Message(text); }

 private:
  UnitStages& stages_;
  std::string unit_;
  JobObserver& inner_;
};

}  // namespace tessaline
