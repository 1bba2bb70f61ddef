// The rack's three output forms and its summary.
#include "cli/rack_output.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "link/bootloader_commands.h"
#include "platform/clock.h"
#include "platform/terminal.h"
#include "receipts/receipt.h"
#include "strings/ui_strings.h"

namespace tessaline::cli {

namespace {

// Rows redrawn at most this often: sixteen units moving at once would otherwise flood a terminal.
constexpr std::uint32_t kRowRedrawMs = 100;
constexpr std::size_t kRowBarWidth = 12;
// Assumed when the terminal does not tell its size.
constexpr platform::TerminalSize kUsualTerminal{80, 24};

// At most `columns` characters (UTF-8 sequences count as one).
std::string CutToWidth(std::string text, std::size_t columns) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if ((byte & 0xC0) == 0x80) continue;
    if (characters++ == columns) {
      text.resize(at);
      break;
    }
  }
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// "failed in Application: no acknowledgement", "wrong-response: <reason>", "succeeded".
std::string OutcomeText(const UnitUpdateReport& report) {
  const JobResult& job = report.job;
  std::string text = report.outcome.result;
  if (job.outcome == JobOutcome::UpdateFailed || job.outcome == JobOutcome::Interrupted) {
    text += " in " + StageName(job.stage);
  }
  if (report.outcome.exitCode != 0) {
    const std::string& why = job.reason.empty() ? report.outcome.text : job.reason;
    if (!why.empty()) text += ": " + why;
    // The outcome's text already tells of the receipt; a job's own reason does not.
    if (!job.reason.empty() && !report.receiptError.empty()) {
      text += "; the receipt could not be written: " + report.receiptError;
    }
  }
  return text;
}

std::string VersionBefore(const UnitUpdateReport& report) {
  const auto& version = report.job.applicationVersionBefore;
  return version ? FormatApplicationVersion(*version) : "-";
}

// A unit's own exit code in the summary; a skipped unit has the rack's "not every unit" code, or
// the interrupt's.
// Nothing of the unit changed: never started, or its job ended before its bootloader was sent
// anything that erases (a refused PIN, a declined version, another variant, silence).
bool LeftUntouched(const RackUnitResult& result) {
  if (!result.report) return true;
  const JobResult& job = result.report->job;
  if (result.report->outcome.exitCode == kExitSuccess) return false;
  return job.stage == Stage::ReadingMode || job.stage == Stage::EnteringBootload ||
         job.stage == Stage::Initializing;
}

int UnitExitCode(const RackUnitResult& result, bool interrupted) {
  if (result.report) return result.report->outcome.exitCode;
  return interrupted ? kExitInterrupted : kExitSomeUnitsFailed;
}

// The same facts as the one-unit result event: the unit's receipt, or null for a job that keeps
// none (exit-bootload).
JsonEvent ReceiptJson(const UnitUpdateReport& report) {
  return report.receipt.unit.empty() ? JsonEvent() : receipts::ReceiptJson(report.receipt);
}

}  // namespace

RackOutput::RackOutput(Output& output, const std::vector<UnitAddress>& units) : output_(output) {
  for (const auto& unit : units) {
    Row row;
    row.label = unit.Label();
    labelWidth_ = std::max(labelWidth_, row.label.size());
    rows_.push_back(std::move(row));
  }
  Redraw(true);
}

std::string RackOutput::RowText(const Row& row, std::uint32_t nowMs) const {
  std::string text = Padded(row.label, labelWidth_) + "  ";
  switch (row.state) {
    case RowState::Waiting:
      return text + "waiting";
    case RowState::Skipped:
      return text + "skipped";
    case RowState::Finished:
      return text + row.outcome;
    case RowState::Running:
      return text + row.progress.Bar(nowMs, kRowBarWidth);
  }
  return text;
}

std::vector<std::string> RackOutput::LiveLines(std::size_t rows, std::uint32_t nowMs) const {
  std::vector<std::string> lines;
  // The line under the view holds the cursor: a view as tall as the screen would scroll its
  // first line away, and the next redraw could not reach it.
  const std::size_t fits = rows > 1 ? rows - 1 : 1;
  if (rows_.size() <= fits) {
    for (const Row& row : rows_) lines.push_back(RowText(row, nowMs));
    return lines;
  }
  std::map<RowState, std::size_t> states;
  std::map<std::string, std::size_t> stages;  // of the running units
  std::vector<const Row*> running;
  for (const Row& row : rows_) {
    ++states[row.state];
    if (row.state != RowState::Running) continue;
    ++stages[row.progress.stage.empty() ? StageName(Stage::Initializing) : row.progress.stage];
    running.push_back(&row);
  }
  std::string counts = std::to_string(rows_.size()) + " units:";
  const std::pair<RowState, const char*> named[] = {{RowState::Finished, "finished"},
                                                    {RowState::Running, "running"},
                                                    {RowState::Waiting, "waiting"},
                                                    {RowState::Skipped, "skipped"}};
  const char* separator = " ";
  for (const auto& [state, name] : named) {
    if (states[state] == 0) continue;
    counts.append(separator).append(std::to_string(states[state])).append(" ").append(name);
    separator = ", ";
  }
  lines.push_back(counts);
  if (!stages.empty() && lines.size() < fits) {
    std::string byStage = "running in";
    separator = " ";
    for (const auto& [stage, count] : stages) {
      byStage.append(separator).append(stage).append(" ").append(std::to_string(count));
      separator = ", ";
    }
    lines.push_back(byStage);
  }
  for (std::size_t i = 0; i < running.size() && lines.size() < fits; ++i) {
    const std::size_t rest = running.size() - i;
    if (rest > 1 && lines.size() + 1 == fits) {
      lines.push_back("... and " + std::to_string(rest) + " more running");
      break;
    }
    lines.push_back(RowText(*running[i], nowMs));
  }
  return lines;
}

std::string RackOutput::EraseLive() const {
  return drawnLines_ == 0 ? std::string() : "\x1b[" + std::to_string(drawnLines_) + "F\x1b[J";
}

// Draws the live view afresh over the last one: the cursor goes back up to its first line, the
// screen is cleared from there, and the cursor is left below the last line. The terminal's size
// is read each time, so a resized window gets a view that fits it at the next redraw.
void RackOutput::Redraw(bool force) {
  if (output_.Mode() != OutputMode::Terminal) return;
  const std::uint32_t now = platform::TickCount();
  if (!force && drawnLines_ != 0 && now - lastDrawMs_ < kRowRedrawMs) return;
  lastDrawMs_ = now;
  const platform::TerminalSize size = platform::StdoutTerminalSize().value_or(kUsualTerminal);
  // The last column is left free: a full line leaves some terminals waiting to wrap.
  const std::size_t width = size.columns > 1 ? size.columns - 1 : 1;
  const std::vector<std::string> lines = LiveLines(size.rows, now);
  std::string block = EraseLive();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i != 0) block += '\n';
    block += CutToWidth(lines[i], width);
  }
  output_.Line(block);
  drawnLines_ = lines.size();
}

void RackOutput::Plain(const Row& row, std::string_view text) {
  if (output_.Mode() == OutputMode::Plain) output_.Line(row.label + ": " + std::string(text));
}

void RackOutput::UnitStarted(std::size_t unit) {
  rows_[unit].state = RowState::Running;
  Redraw(true);
}

void RackOutput::StageBegan(std::size_t unit, Stage stage, std::uint32_t units) {
  Row& row = rows_[unit];
  row.progress.BeginStage(StageName(stage), units, platform::TickCount());
  const std::string text = ProgressText(row.progress.stage);
  output_.Event(
      {{"event", "stage"}, {"unit", row.label}, {"stage", row.progress.stage}, {"text", text}});
  Plain(row, text);
  Redraw(false);
}

void RackOutput::PlanReady(std::size_t unit, std::uint32_t totalUnits) {
  Row& row = rows_[unit];
  row.progress.Plan(totalUnits);
  output_.Event({{"event", "range"}, {"unit", row.label}, {"total", totalUnits}});
}

void RackOutput::PositionMoved(std::size_t unit, std::uint32_t position) {
  Row& row = rows_[unit];
  row.progress.position = position;
  switch (output_.Mode()) {
    case OutputMode::Json:
      output_.Event({{"event", "progress"},
                     {"unit", row.label},
                     {"stage", row.progress.stage},
                     {"position", position},
                     {"total", row.progress.total}});
      break;
    case OutputMode::Plain:
      if (const auto line = row.progress.PlainLine()) Plain(row, *line);
      break;
    case OutputMode::Terminal:
      Redraw(false);
      break;
  }
}

void RackOutput::UnitFinished(std::size_t unit, const UnitUpdateReport& report) {
  Row& row = rows_[unit];
  row.state = RowState::Finished;
  row.outcome = OutcomeText(report);
  if (output_.Mode() == OutputMode::Json) {  // the receipt is built only to be printed
    JsonEvent event{{"event", "result"},
                    {"unit", row.label},
                    {"result", report.outcome.result},
                    {"text", report.outcome.text},
                    {"exit_code", report.outcome.exitCode},
                    {"receipt", ReceiptJson(report)}};
    if (!report.receiptError.empty()) event["receipt_error"] = report.receiptError;
    output_.Event(event);
  }
  Plain(row, report.outcome.exitCode == 0 ? report.outcome.text : row.outcome);
  Redraw(true);
}

// Its JSON result event waits for the summary, which knows whether an interrupt or the failure
// budget left it unstarted, and so its exit code; nothing happens between the two.
void RackOutput::UnitSkipped(std::size_t unit) {
  Row& row = rows_[unit];
  row.state = RowState::Skipped;
  Plain(row, "skipped: not started");
  Redraw(true);
}

void RackOutput::UnitMessage(std::size_t unit, std::string_view text) {
  const Row& row = rows_[unit];
  switch (output_.Mode()) {
    case OutputMode::Json:
      output_.Event({{"event", "message"}, {"unit", row.label}, {"text", text}});
      break;
    case OutputMode::Plain:
      Plain(row, text);
      break;
    case OutputMode::Terminal:
      // Above the live view, which is drawn afresh below it.
      output_.Line(EraseLive() + row.label + ": " + std::string(text));
      drawnLines_ = 0;
      Redraw(true);
      break;
  }
}

int RackOutput::Summary(const std::vector<RackUnitResult>& results, bool interrupted) {
  std::size_t succeeded = 0;
  std::size_t skipped = 0;
  for (const auto& result : results) {
    if (!result.report) ++skipped;
    if (result.report && result.report->outcome.exitCode == kExitSuccess) ++succeeded;
  }
  const std::size_t failed = results.size() - succeeded - skipped;
  const std::size_t untouched = static_cast<std::size_t>(
      std::ranges::count_if(results, [](const RackUnitResult& r) { return LeftUntouched(r); }));
  const std::size_t partWay = results.size() - succeeded - untouched;
  // 0 when every unit succeeded, 130 after an interrupt, 17 when the units not updated were all
  // left untouched, else 9 (some left part way, or none updated).
  const int exitCode = interrupted                      ? kExitInterrupted
                       : succeeded == results.size()    ? kExitSuccess
                       : partWay == 0 && succeeded != 0 ? kExitPartlyUpdated
                                                        : kExitSomeUnitsFailed;
  const char* run = succeeded == results.size() ? "all-updated"
                    : partWay != 0              ? "left-part-way"
                    : succeeded != 0            ? "partly-updated"
                                                : "none-updated";

  if (output_.Mode() == OutputMode::Json) {
    for (std::size_t i = 0; i < results.size(); ++i) {
      if (results[i].report) continue;
      output_.Event({{"event", "result"},
                     {"unit", rows_[i].label},
                     {"result", "skipped"},
                     {"text", "The unit was not started."},
                     {"exit_code", UnitExitCode(results[i], interrupted)}});
    }
    JsonEvent units = JsonEvent::array();
    for (std::size_t i = 0; i < results.size(); ++i) {
      const auto& report = results[i].report;
      JsonEvent entry{{"unit", rows_[i].label},
                      {"result", report ? report->outcome.result : "skipped"},
                      {"exit_code", UnitExitCode(results[i], interrupted)}};
      if (report) {
        entry["text"] = report->outcome.text;
        entry["stage"] = StageName(report->job.stage);
        if (!report->job.reason.empty()) entry["reason"] = report->job.reason;
        if (report->job.applicationVersionBefore) {
          entry["application_version_before"] = VersionBefore(*report);
        }
        entry["ms"] = report->job.totalMs;
        entry["receipt"] = ReceiptJson(*report);
        if (!report->receiptError.empty()) entry["receipt_error"] = report->receiptError;
      }
      units.push_back(std::move(entry));
    }
    JsonEvent summary{
        {"event", "summary"},     {"units", std::move(units)}, {"succeeded", succeeded},
        {"failed", failed},       {"skipped", skipped},        {"interrupted", interrupted},
        {"untouched", untouched}, {"part_way", partWay},       {"run", run},
        {"exit_code", exitCode}};
    output_.Event(summary);
    return exitCode;
  }

  Redraw(true);  // as every unit ended: its row, or in the compact view the final counts
  std::vector<std::vector<std::string>> table{{"Unit", "Outcome", "Before", "Time"}};
  for (std::size_t i = 0; i < results.size(); ++i) {
    const auto& report = results[i].report;
    if (!report) {
      table.push_back({rows_[i].label, "skipped: not started", "-", "-"});
      continue;
    }
    table.push_back({rows_[i].label, OutcomeText(*report), VersionBefore(*report),
                     FormatDuration((report->job.totalMs + 500) / 1000)});
  }
  output_.Line("");
  for (const std::string& text : AlignedColumns(table)) output_.Line(text);
  std::string verdict =
      std::to_string(succeeded) + " of " + std::to_string(results.size()) + " units succeeded";
  if (failed != 0) verdict += ", " + std::to_string(failed) + " did not";
  if (skipped != 0) verdict += ", " + std::to_string(skipped) + " not started";
  if (interrupted) verdict += " (interrupted)";
  if (partWay != 0) {
    verdict += "; " + std::to_string(partWay) + " left part way need another run";
  } else if (succeeded != results.size()) {
    verdict += "; the rest were left untouched";
  }
  output_.Result(exitCode == 0 ? "succeeded" : "some-failed", verdict + ".", exitCode);
  return exitCode;
}

}  // namespace tessaline::cli
