// Where each running unit stands: its stage, noted as its job reports it.
#include "update/unit_stages.h"

#include "update/verdict.h"

namespace tessaline {

void UnitStages::Began(const std::string& unit, Stage stage) {
  std::lock_guard guard(lock_);
  for (auto& [name, at] : running_) {
    if (name == unit) {
      at = stage;
      return;
    }
  }
  running_.emplace_back(unit, stage);
}

void UnitStages::Ended(const std::string& unit) {
  std::lock_guard guard(lock_);
  std::erase_if(running_, [&](const auto& entry) { return entry.first == unit; });
}

std::string UnitStages::EndedAtOnceText() const {
  std::lock_guard guard(lock_);
  std::string text;
  for (const auto& [unit, stage] : running_) {
    text += unit + ": ended at once " + WhatStoppingLeaves(stage) + "\n";
  }
  return text;
}

StageNoting::StageNoting(UnitStages& stages, std::string unit, JobObserver& inner)
    : stages_(stages), unit_(std::move(unit)), inner_(inner) {
  // Until its first stage the job only opens the port and asks who the unit is.
  stages_.Began(unit_, Stage::Initializing);
}

void StageNoting::StageBegan(Stage stage, std::uint32_t units) {
  stages_.Began(unit_, stage);
  inner_.StageBegan(stage, units);
}

void StageNoting::Finished(const JobResult& result) {
  stages_.Ended(unit_);
  inner_.Finished(result);
}

}  // namespace tessaline
