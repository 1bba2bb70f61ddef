// A JobObserver that records the job's typed events in order, for tests that read them afterwards.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "update/jobs.h"

namespace tessaline {

// gtest prints enums as numbers; these name them in failures.
inline void PrintTo(JobOutcome outcome, std::ostream* os) {
  switch (outcome) {
    case JobOutcome::Succeeded:
      *os << "Succeeded";
      return;
    case JobOutcome::WrittenUnverified:
      *os << "WrittenUnverified";
      return;
    case JobOutcome::FinishedWithoutFirmware:
      *os << "FinishedWithoutFirmware";
      return;
    case JobOutcome::UpdateFailed:
      *os << "UpdateFailed";
      return;
    case JobOutcome::NoResponse:
      *os << "NoResponse";
      return;
    case JobOutcome::WrongResponse:
      *os << "WrongResponse";
      return;
    case JobOutcome::BootloadExited:
      *os << "BootloadExited";
      return;
    case JobOutcome::Declined:
      *os << "Declined";
      return;
    case JobOutcome::Interrupted:
      *os << "Interrupted";
      return;
    case JobOutcome::VerifyFailed:
      *os << "VerifyFailed";
      return;
    case JobOutcome::PortUnavailable:
      *os << "PortUnavailable";
      return;
    case JobOutcome::PackageRefused:
      *os << "PackageRefused";
      return;
    case JobOutcome::FinalCommandRefused:
      *os << "FinalCommandRefused";
      return;
    case JobOutcome::StillInBootloadMode:
      *os << "StillInBootloadMode";
      return;
    case JobOutcome::NotConfirmed:
      *os << "NotConfirmed";
      return;
    case JobOutcome::PinRefused:
      *os << "PinRefused";
      return;
  }
  *os << "JobOutcome?";
}
inline void PrintTo(Stage stage, std::ostream* os) { *os << StageName(stage); }

namespace testing {

struct JobEvent {
  enum class Kind { StageBegan, PlanReady, PositionMoved, Message, Finished };
  Kind kind = Kind::StageBegan;
  Stage stage = Stage::Initializing;  // StageBegan
  std::uint32_t units = 0;            // StageBegan's size, PlanReady's total, the position
  std::string text;                   // Message
  std::optional<JobResult> result;    // Finished

  friend void PrintTo(Kind kind, std::ostream* os) {
    constexpr const char* kNames[] = {"StageBegan", "PlanReady", "PositionMoved", "Message",
                                      "Finished"};
    *os << kNames[static_cast<std::size_t>(kind)];
  }
};

// Thread-safe: a job on another thread may report while the test reads.
class RecordingJobObserver final : public JobObserver {
 public:
  void StageBegan(Stage stage, std::uint32_t units) override {
    Add({JobEvent::Kind::StageBegan, stage, units, {}, {}});
  }
  void PlanReady(std::uint32_t totalUnits) override {
    Add({JobEvent::Kind::PlanReady, {}, totalUnits, {}, {}});
  }
  void PositionMoved(std::uint32_t position) override {
    Add({JobEvent::Kind::PositionMoved, {}, position, {}, {}});
  }
  void Message(std::string_view text) override {
    Add({JobEvent::Kind::Message, {}, 0, std::string(text), {}});
  }
  void Finished(const JobResult& result) override {
    Add({JobEvent::Kind::Finished, {}, 0, {}, result});
  }

  std::vector<JobEvent> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<JobEvent::Kind> Kinds() const {
    std::vector<JobEvent::Kind> kinds;
    for (const auto& e : Events()) kinds.push_back(e.kind);
    return kinds;
  }
  // The stages that began, in order.
  std::vector<Stage> Stages() const {
    std::vector<Stage> stages;
    for (const auto& e : Events()) {
      if (e.kind == JobEvent::Kind::StageBegan) stages.push_back(e.stage);
    }
    return stages;
  }
  // The plan's total; none when no plan was told.
  std::optional<std::uint32_t> Plan() const {
    for (const auto& e : Events()) {
      if (e.kind == JobEvent::Kind::PlanReady) return e.units;
    }
    return std::nullopt;
  }
  std::vector<std::uint32_t> Positions() const {
    std::vector<std::uint32_t> positions;
    for (const auto& e : Events()) {
      if (e.kind == JobEvent::Kind::PositionMoved) positions.push_back(e.units);
    }
    return positions;
  }
  std::optional<std::uint32_t> LastPosition() const {
    const auto positions = Positions();
    return positions.empty() ? std::nullopt : std::optional(positions.back());
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& e : Events()) {
      if (e.kind == JobEvent::Kind::Message) texts.push_back(e.text);
    }
    return texts;
  }
  // Every Finished result, in order: a job tells its verdict exactly once.
  std::vector<JobResult> Results() const {
    std::vector<JobResult> results;
    for (const auto& e : Events()) {
      if (e.kind == JobEvent::Kind::Finished) results.push_back(*e.result);
    }
    return results;
  }
  // True when exactly one Finished came, as the last event, with `outcome`.
  bool FinishedOnceWith(JobOutcome outcome) const {
    const auto events = Events();
    return Results().size() == 1 && events.back().kind == JobEvent::Kind::Finished &&
           events.back().result->outcome == outcome;
  }

  // Waits until Finished has arrived (true) or `timeoutMs` passed (false).
  bool WaitForFinished(std::uint32_t timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return !events_.empty() && events_.back().kind == JobEvent::Kind::Finished;
    });
  }

 private:
  void Add(JobEvent event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<JobEvent> events_;
};

}  // namespace testing
}  // namespace tessaline
