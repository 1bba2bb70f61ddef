// What tessaline-update prints: a live bar on a terminal, plain lines otherwise, or JSON events.
#pragma once

#include <cstdint>
#include <cstdio>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "transport/socket_error.h"

namespace tessaline::cli {

enum class OutputMode { Terminal, Plain, Json };

// --json wins; otherwise a terminal gets the live bar.
OutputMode ChooseOutputMode(bool json, bool stdoutIsTerminal);

// A --json event: one object printed on one line, "event" its first key
// ({"event":"progress","position":12}); ordered so the keys keep the order they are given in.
using JsonEvent = nlohmann::ordered_json;

// The figures one bar line shows: progress units of the stage (or of the whole update when the
// stage's size is not known).
struct ProgressFigures {
  std::string stage;
  std::uint32_t done = 0;
  std::uint32_t total = 0;
  std::uint32_t elapsedMs = 0;  // since the stage began
};
// "Application [########------------]  40.1%  6250/15613  812/s  0:12 left"
std::string RenderProgressBar(const ProgressFigures& figures, std::size_t barWidth);
// "0:07", "1:02:03"; "--:--" when unknown.
std::string FormatDuration(std::uint64_t seconds, bool known = true);
// Rows of cells as lines: each column but the last padded to its widest cell, two spaces apart.
std::vector<std::string> AlignedColumns(const std::vector<std::vector<std::string>>& rows);

// Where one unit's job stands, counted as its bar and its plain lines show it.
struct StageProgress {
  std::string stage;
  std::uint32_t total = 0;  // progress units of the whole job
  std::uint32_t position = 0;
  std::uint32_t stageUnits = 0;  // 0: the stage has no size of its own and counts within the job
  std::uint32_t stageStartPosition = 0;
  std::uint32_t stageStartMs = 0;
  std::uint32_t lastPlainBucket = 0;  // last tenth of the stage reported as a plain line

  // `units` 0: Initializing, or a stage of no size; it counts within the whole job.
  void BeginStage(std::string_view name, std::uint32_t units, std::uint32_t nowMs);
  void Plan(std::uint32_t totalUnits);
  // Done and total of the stage, or of the whole job when the stage's size is not known.
  std::pair<std::uint32_t, std::uint32_t> Amounts() const;
  std::string Bar(std::uint32_t nowMs, std::size_t barWidth) const;
  // "Application: 40% (40 of 100)" once a further tenth of the stage is done; none before.
  std::optional<std::string> PlainLine();
};

class Output {
 public:
  Output(OutputMode mode, std::FILE* out, std::FILE* err);
  OutputMode Mode() const { return mode_; }

  // A stage begins (`stage` the bare name, `text` the "Progress: ..." status text); with a size in
  // progress units (not 0) its bar and lines count within the stage.
  void Stage(std::string_view stage, std::string_view text, std::uint32_t units,
             std::uint32_t nowMs);
  void Range(std::uint32_t total);
  void Position(std::uint32_t position, std::uint32_t nowMs);
  // An informative line (stdout), or an error line (stderr).
  void Line(std::string_view text);
  void Error(std::string_view text);
  // The outcome: `result` a short word ("succeeded"), `text` what the GUI would show.
  void Result(std::string_view result, std::string_view text, int exitCode);
  // A JSON event as it stands (JSON mode only; ignored otherwise).
  void Event(const JsonEvent& event);
  // Ends a live bar line so what follows starts on a fresh line.
  void EndBar();

 private:
  void DrawBar(bool force, std::uint32_t nowMs);
  // Every byte goes out through these. After a write to a stream fails (its reader went away,
  // its terminal hung up) nothing more is written there: the units go on without an audience.
  void Write(std::FILE* stream, std::string_view text);
  void WriteLine(std::FILE* stream, std::string_view text);

  OutputMode mode_;
  std::FILE* out_;
  std::FILE* err_;
  StageProgress progress_;
  std::uint32_t lastDrawMs_ = 0;
  bool barOpen_ = false;
  bool outGone_ = false;
  bool errGone_ = false;
};

// The desktop program's "Socket Error" box as an error line, with the system's words.
void ReportSocketFailure(Output& output, const SocketFailure& failure);

}  // namespace tessaline::cli
