// What a rack run prints: live rows per unit on a terminal (cut to its width; with more units than
// its rows, counts and the running units), plain lines that begin with their unit otherwise, or
// JSON events that carry "unit"; then the summary of every unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/output.h"
#include "cli/rack_runner.h"

namespace tessaline::cli {

class RackOutput final : public RackObserver {
 public:
  RackOutput(Output& output, const std::vector<UnitAddress>& units);

  void UnitStarted(std::size_t unit) override;
  void StageBegan(std::size_t unit, Stage stage, std::uint32_t units) override;
  void PlanReady(std::size_t unit, std::uint32_t totalUnits) override;
  void PositionMoved(std::size_t unit, std::uint32_t position) override;
  void UnitFinished(std::size_t unit, const UnitUpdateReport& report) override;
  void UnitSkipped(std::size_t unit) override;
  void UnitMessage(std::size_t unit, std::string_view text) override;

  // The summary table (or the JSON summary event) and the closing line; returns the exit code.
  int Summary(const std::vector<RackUnitResult>& results, bool interrupted);

 private:
  enum class RowState { Waiting, Running, Finished, Skipped };
  struct Row {
    std::string label;
    RowState state = RowState::Waiting;
    StageProgress progress;
    std::string outcome;  // once finished
  };

  std::string RowText(const Row& row, std::uint32_t nowMs) const;
  // The live view's lines for a terminal of `rows`: a row per unit when they all fit, else the
  // counts and as many running units as fit.
  std::vector<std::string> LiveLines(std::size_t rows, std::uint32_t nowMs) const;
  void Redraw(bool force);
  // Moves back to the live view's first line and clears from there down.
  std::string EraseLive() const;
  void Plain(const Row& row, std::string_view text);

  Output& output_;
  std::vector<Row> rows_;
  std::size_t labelWidth_ = 0;
  std::size_t drawnLines_ = 0;  // of the live view now on the screen
  std::uint32_t lastDrawMs_ = 0;
};

}  // namespace tessaline::cli
