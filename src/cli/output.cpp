// The three output forms of tessaline-update.
#include "cli/output.h"

#include <algorithm>
#include <cinttypes>
#include <nlohmann/json.hpp>

namespace tessaline::cli {

namespace {
// Redraw at most this often: a bar redrawn per chunk would cost more than the transfer.
constexpr std::uint32_t kBarRedrawMs = 100;
// Plain (non-terminal) output reports every this many percent, so logs stay short.
constexpr std::uint32_t kPlainPercentStep = 10;
constexpr std::size_t kBarWidth = 24;
}  // namespace

OutputMode ChooseOutputMode(bool json, bool stdoutIsTerminal) {
  if (json) return OutputMode::Json;
  return stdoutIsTerminal ? OutputMode::Terminal : OutputMode::Plain;
}

std::string FormatDuration(std::uint64_t seconds, bool known) {
  if (!known) return "--:--";
  char text[32];
  const auto hours = seconds / 3600;
  const auto minutes = (seconds / 60) % 60;
  const auto secs = seconds % 60;
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02" PRIu64 ":%02" PRIu64, hours, minutes, secs);
  } else {
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02" PRIu64, minutes, secs);
  }
  return text;
}

std::vector<std::string> AlignedColumns(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::vector<std::string> lines;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line.append(widths[i] - row[i].size() + 2, ' ');
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string RenderProgressBar(const ProgressFigures& f, std::size_t barWidth) {
  const std::uint32_t done = f.done > f.total ? f.total : f.done;
  const double fraction = f.total == 0 ? 1.0 : static_cast<double>(done) / f.total;
  const auto filled = static_cast<std::size_t>(fraction * static_cast<double>(barWidth) + 0.5);
  std::string line = f.stage + " [";
  line.append(filled, '#');
  line.append(barWidth - filled, '-');
  line += "]";

  const double rate = f.elapsedMs == 0 ? 0.0 : static_cast<double>(done) * 1000.0 / f.elapsedMs;
  const std::uint32_t left = f.total - done;
  const bool leftKnown = left == 0 || rate > 0.0;
  const auto secondsLeft = left == 0 || rate <= 0.0
                               ? std::uint64_t{0}
                               : static_cast<std::uint64_t>(static_cast<double>(left) / rate + 0.5);

  char figures[128];
  std::snprintf(figures, sizeof figures, " %5.1f%%  %u/%u  %.0f/s  %s left", fraction * 100.0, done,
                f.total, rate, FormatDuration(secondsLeft, leftKnown).c_str());
  return line + figures;
}

void StageProgress::BeginStage(std::string_view name, std::uint32_t units, std::uint32_t nowMs) {
  stage = std::string(name);
  stageUnits = units;
  stageStartPosition = position;
  stageStartMs = nowMs;
  lastPlainBucket = 0;
}

void StageProgress::Plan(std::uint32_t totalUnits) {
  total = totalUnits;
  position = 0;
  stageStartPosition = 0;
  lastPlainBucket = 0;
}

std::pair<std::uint32_t, std::uint32_t> StageProgress::Amounts() const {
  if (stageUnits != 0) return {position - stageStartPosition, stageUnits};
  return {position, total};
}

std::string StageProgress::Bar(std::uint32_t nowMs, std::size_t barWidth) const {
  const auto [done, units] = Amounts();
  return RenderProgressBar({stage, done, units, nowMs - stageStartMs}, barWidth);
}

std::optional<std::string> StageProgress::PlainLine() {
  const auto [done, units] = Amounts();
  const std::uint32_t percent =
      units == 0 ? 100 : static_cast<std::uint32_t>(std::uint64_t{done} * 100 / units);
  const std::uint32_t bucket = percent / kPlainPercentStep;
  if (bucket <= lastPlainBucket) return std::nullopt;
  lastPlainBucket = bucket;
  return stage + ": " + std::to_string(percent) + "% (" + std::to_string(done) + " of " +
         std::to_string(units) + ")";
}

Output::Output(OutputMode mode, std::FILE* out, std::FILE* err)
    : mode_(mode), out_(out), err_(err) {}

void Output::Write(std::FILE* stream, std::string_view text) {
  bool& gone = stream == out_ ? outGone_ : errGone_;
  if (gone) return;
  if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::fflush(stream) != 0) {
    gone = true;
  }
}

void Output::WriteLine(std::FILE* stream, std::string_view text) {
  std::string line(text);
  line += '\n';
  Write(stream, line);
}

void Output::EndBar() {
  if (barOpen_) {
    Write(out_, "\n");
    barOpen_ = false;
  }
}

void Output::DrawBar(bool force, std::uint32_t nowMs) {
  if (!force && barOpen_ && nowMs - lastDrawMs_ < kBarRedrawMs) return;
  lastDrawMs_ = nowMs;
  Write(out_, "\r" + progress_.Bar(nowMs, kBarWidth) + "\x1b[K");
  barOpen_ = true;
}

void Output::Stage(std::string_view stage, std::string_view text, std::uint32_t units,
                   std::uint32_t nowMs) {
  if (mode_ == OutputMode::Terminal && barOpen_) DrawBar(true, nowMs);
  EndBar();
  progress_.BeginStage(stage, units, nowMs);
  if (mode_ == OutputMode::Json) {
    Event({{"event", "stage"}, {"stage", stage}, {"text", text}});
    return;
  }
  WriteLine(out_, text);
}

void Output::Range(std::uint32_t total) {
  progress_.Plan(total);
  Event({{"event", "range"}, {"total", total}});
}

void Output::Position(std::uint32_t position, std::uint32_t nowMs) {
  progress_.position = position;
  switch (mode_) {
    case OutputMode::Json:
      Event({{"event", "progress"},
             {"stage", progress_.stage},
             {"position", position},
             {"total", progress_.total}});
      break;
    case OutputMode::Plain:
      if (const auto line = progress_.PlainLine()) Line(*line);
      break;
    case OutputMode::Terminal:
      DrawBar(position == progress_.total, nowMs);
      break;
  }
}

void Output::Line(std::string_view text) {
  if (mode_ == OutputMode::Json) {
    Event({{"event", "message"}, {"text", text}});
    return;
  }
  EndBar();
  WriteLine(out_, text);
}

void Output::Error(std::string_view text) {
  EndBar();
  Event({{"event", "error"}, {"text", text}});
  WriteLine(err_, text);
}

void Output::Result(std::string_view result, std::string_view text, int exitCode) {
  EndBar();
  if (mode_ == OutputMode::Json) {
    Event({{"event", "result"}, {"result", result}, {"text", text}, {"exit_code", exitCode}});
    return;
  }
  WriteLine(exitCode == 0 ? out_ : err_, text);
}

void Output::Event(const JsonEvent& event) {
  if (mode_ != OutputMode::Json) return;
  EndBar();
  // Invalid UTF-8 in a text (a unit's identity, a system message) is replaced, never thrown about.
  WriteLine(out_, event.dump(-1, ' ', false, JsonEvent::error_handler_t::replace));
}

void ReportSocketFailure(Output& output, const SocketFailure& failure) {
  output.Error(std::string(UiString(IDS_SOCKET_ERROR)) + ": " + SocketFailureText(failure));
}

}  // namespace tessaline::cli
