// What tessaline-update prints: a live bar on a terminal, plain lines otherwise, or JSON events.
#pragma once

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
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
std::string RenderProgressBar(const ProgressFigures& figures, std::size_t barWidth = 24);
// "0:07", "1:02:03"; "--:--" when unknown.
std::string FormatDuration(std::uint64_t seconds, bool known = true);

class Output {
 public:
  Output(OutputMode mode, std::FILE* out, std::FILE* err);
  OutputMode Mode() const { return mode_; }

  // A stage begins (`stage` the bare name, `text` the "Progress: ..." status text).
  void Stage(std::string_view stage, std::string_view text, std::uint32_t nowMs);
  void Range(std::uint32_t total);
  // The size of a stage in progress units, so its bar and lines count within the stage.
  void SetStageTotal(std::string_view stage, std::uint32_t units);
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
  // Done and total of the current stage, or of the whole update when the stage's size is unknown.
  std::pair<std::uint32_t, std::uint32_t> StageAmounts() const;

  OutputMode mode_;
  std::FILE* out_;
  std::FILE* err_;
  std::string stage_;
  std::uint32_t total_ = 0;
  std::uint32_t position_ = 0;
  std::uint32_t stageStartPosition_ = 0;
  std::vector<std::pair<std::string, std::uint32_t>> stageTotals_;
  std::uint32_t stageStartMs_ = 0;
  std::uint32_t lastDrawMs_ = 0;
  std::uint32_t lastPlainBucket_ = 0;  // last tenth of the range reported as a plain line
  bool barOpen_ = false;
};

// The desktop program's "Socket Error" box as an error line, with the system's words.
void ReportSocketFailure(Output& output, const SocketFailure& failure);

}  // namespace tessaline::cli
