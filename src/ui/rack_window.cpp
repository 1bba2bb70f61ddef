// The rack window procedure: the unit box, the run's controls, the rows and the report.
#include "ui/rack_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <stop_token>
#include <string>

#include "package/package.h"
#include "platform/owner_only_file.h"
#include "platform/threading.h"
#include "receipts/receipt_report.h"
#include "receipts/signing_key.h"
#include "resource.h"
#include "ui/hwnd_message_target.h"
#include "ui/message_loop.h"
#include "ui/messages.h"
#include "ui/rack_board.h"
#include "ui/rack_units.h"
#include "ui/settings.h"
#include "ui/ui_text.h"
#include "ui/wide_text.h"
#include "update/rack_run.h"

namespace tessaline {
namespace {

using Clock = std::chrono::steady_clock;

// While units run the rows are redrawn on this beat, not on every message: a list redrawn as
// fast as sixteen units report takes the processor from the units themselves.
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshTimerMs = 250;
constexpr int kUnitsBoxMaxChars = 64 * 1024;
constexpr const char* kReceiptsFileName = "receipts.jsonl";

enum Column : int {
  kUnitColumn,
  kStageColumn,
  kProgressColumn,
  kVersionColumn,
  kOutcomeColumn,
  kTimeColumn
};
struct ColumnLayout {
  StringId title;
  int width;  // dialog units: scaled with the window's font
};
constexpr ColumnLayout kColumns[] = {{IDS_RACK_COLUMN_UNIT, 62},     {IDS_RACK_COLUMN_STAGE, 62},
                                     {IDS_RACK_COLUMN_PROGRESS, 40}, {IDS_RACK_COLUMN_VERSION, 42},
                                     {IDS_RACK_COLUMN_OUTCOME, 190}, {IDS_RACK_COLUMN_TIME, 30}};

// How a control follows the window's size.
enum class Anchor { Stay, Right, GrowWidth, GrowBoth, BottomGrowWidth };
struct Placed {
  int id;
  Anchor anchor;
  RECT start{};  // in client coordinates at the window's first size
};

struct Row {
  std::string label;
  std::optional<UnitAddress> unit;  // none for a line that was refused
  std::string problem;
  RackRowFacts facts;
  std::array<std::string, 6> cells;  // as the list shows them, so unchanged cells are not redrawn
  Clock::time_point started{};
  bool timing = false;  // started and not yet finished
};

// One Update All or Retry Failed: its units' rows, its board and its thread.
struct Run {
  std::vector<std::size_t> rows;  // the run's unit k is rows[k]
  std::vector<bool> news;         // the board told of the unit since the last beat
  std::shared_ptr<RackBoard> board;
  std::stop_source stop;
  platform::JoinedThread thread;  // last: joined before the board it reports to goes
};

struct RackWindowState {
  HWND window = nullptr;
  std::shared_ptr<const Package> package;
  std::shared_ptr<HwndMessageTarget> target;
  std::vector<Row> rows;
  std::unique_ptr<Run> run;
  std::wstring summary;      // as shown
  std::string receiptsPath;  // empty when no receipts can be kept
  bool stopping = false;
  bool stoppedShort = false;  // the last run was stopped before every unit had run
  bool closeWhenStopped = false;
  SIZE startClient{};
  std::vector<Placed> placed;
};
std::unique_ptr<RackWindowState> rack;  // the one rack window of the process

std::string Filled(StringId id, std::initializer_list<std::string> values) {
  std::string text = UiString(id);
  std::size_t from = 0;
  for (const std::string& value : values) {
    const auto at = text.find("%s", from);
    if (at == std::string::npos) break;
    text.replace(at, 2, value);
    from = at + value.size();
  }
  return text;
}

int ShowBox(HWND owner, const std::string& text, StringId caption, UINT flags) {
  return MessageBoxW(owner, Widen(text).c_str(), UiText(caption).c_str(), flags);
}

bool Checked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

void Enable(HWND window, int id, bool enabled) {
  EnableWindow(GetDlgItem(window, id), enabled ? TRUE : FALSE);
}

// The user's receipts file: beside the signing key, in the per-user application data folder.
std::string ReceiptsPath(std::string& why) {
  const auto folder = platform::UserKeyFolder(why);
  if (!folder) return {};
  std::error_code error;
  std::filesystem::create_directories(*folder, error);
  if (error) {
    why = error.message();
    return {};
  }
  return (*folder / kReceiptsFileName).string();
}

std::string Seconds(std::uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
  return text;
}

std::string Percent(std::uint32_t position, std::uint32_t total) {
  if (total == 0) return {};
  const auto percent = static_cast<unsigned>(std::uint64_t{position} * 100 / total);
  return std::to_string(percent > 100 ? 100 : percent) + " %";
}

HWND List() { return GetDlgItem(rack->window, IDC_RACK_ROWS); }

void SetCell(std::size_t index, Column column, const std::string& text) {
  std::string& shown = rack->rows[index].cells[column];
  if (shown == text) return;
  shown = text;
  const auto item = static_cast<int>(index);
  std::wstring wide = Widen(text);
  LVITEMW cell{};
  cell.iSubItem = column;
  cell.pszText = wide.data();
  SendMessageW(List(), LVM_SETITEMTEXTW, static_cast<WPARAM>(item),
               reinterpret_cast<LPARAM>(&cell));
}

std::string ElapsedText(const Row& row) {
  if (row.facts.report) return Seconds(row.facts.report->job.totalMs);
  if (!row.timing) return {};
  const auto running = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - row.started);
  return std::to_string(running.count()) + " s";
}

void ShowRow(std::size_t index) {
  const Row& row = rack->rows[index];
  const RackRowFacts& facts = row.facts;
  std::string stage, progress, version, outcome;
  if (!row.problem.empty()) {
    outcome = row.problem;
  } else if (facts.report) {
    const auto& report = *facts.report;
    // A failure names the stage it ended in: where the unit was left.
    stage = report.outcome.exitCode == 0 ? UiString(IDS_RACK_DONE) : StageName(report.job.stage);
    progress = report.outcome.exitCode == 0 ? "100 %" : Percent(facts.position, facts.total);
    const auto& receipt = report.receipt;
    const std::string before =
        receipt.applicationVersionBefore.empty() ? "-" : receipt.applicationVersionBefore;
    const std::string after =
        receipt.applicationVersionAfter.empty() ? "-" : receipt.applicationVersionAfter;
    version = before + " \xE2\x86\x92 " + after;
    outcome = report.outcome.text;
  } else {
    switch (facts.state) {
      case RackRowState::Waiting:
        stage = UiString(IDS_RACK_WAITING);
        break;
      case RackRowState::Running:
        stage = StageName(facts.stage);
        progress = Percent(facts.position, facts.total);
        outcome = facts.message;
        break;
      case RackRowState::Skipped:
        stage = UiString(IDS_RACK_SKIPPED);
        outcome = UiString(IDS_RACK_NOT_STARTED);
        break;
      case RackRowState::Finished:
        break;
    }
  }
  SetCell(index, kStageColumn, stage);
  SetCell(index, kProgressColumn, progress);
  SetCell(index, kVersionColumn, version);
  SetCell(index, kOutcomeColumn, outcome);
  SetCell(index, kTimeColumn, ElapsedText(row));
}

// The receipts report's classes, so the window and the report count alike.
std::string ClassOf(const Row& row) {
  if (!row.problem.empty()) return "failed";
  if (row.facts.report) return receipts::SummaryClass(row.facts.report->receipt);
  if (row.facts.state == RackRowState::Skipped) return "skipped";
  return "waiting";
}

void ShowSummary() {
  std::size_t updated = 0, failed = 0, skipped = 0, waiting = 0;
  for (const Row& row : rack->rows) {
    const std::string kind = ClassOf(row);
    if (kind == "updated") {
      ++updated;
    } else if (kind == "skipped") {
      ++skipped;
    } else if (kind == "waiting") {
      ++waiting;
    } else {
      ++failed;
    }
  }
  std::string text = Filled(
      IDS_RACK_SUMMARY, {std::to_string(rack->rows.size()), std::to_string(updated),
                         std::to_string(failed), std::to_string(skipped), std::to_string(waiting)});
  if (rack->stopping) text += std::string(" ") + UiString(IDS_RACK_STOPPING);
  if (rack->stoppedShort) text += UiString(IDS_RACK_RUN_STOPPED);
  std::wstring wide = Widen(text);
  if (wide == rack->summary) return;
  rack->summary = std::move(wide);
  SetDlgItemTextW(rack->window, IDC_RACK_SUMMARY, rack->summary.c_str());
}

// Lists every row afresh (a new set of units).
void FillList() {
  SendMessageW(List(), WM_SETREDRAW, FALSE, 0);
  SendMessageW(List(), LVM_DELETEALLITEMS, 0, 0);
  for (std::size_t index = 0; index < rack->rows.size(); ++index) {
    std::wstring label = Widen(rack->rows[index].label);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(index);
    item.pszText = label.data();
    SendMessageW(List(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    rack->rows[index].cells[kUnitColumn] = rack->rows[index].label;
    ShowRow(index);
  }
  SendMessageW(List(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(List(), nullptr, TRUE);
  ShowSummary();
}

bool Retryable(const Row& row) {
  if (!row.unit) return false;
  if (row.facts.report) return row.facts.report->outcome.exitCode != 0;
  return row.facts.state == RackRowState::Skipped;
}

bool HasReports() {
  for (const Row& row : rack->rows) {
    if (row.facts.report) return true;
  }
  return false;
}

// Everything that changes a run is offered only between runs; Stop only during one.
void SetRunning(bool running) {
  const HWND window = rack->window;
  for (const int id : {IDC_RACK_UNITS, IDC_RACK_FACTORY_DEFAULTS, IDC_RACK_ALLOW_OLDER,
                       IDC_RACK_PARALLEL, IDC_RACK_MAX_FAILURES, IDC_RACK_UPDATE_ALL}) {
    Enable(window, id, !running);
  }
  Enable(window, IDC_RACK_FIRMWARE, !running && PackageHasApplication.load());
  Enable(window, IDC_RACK_STOP, running);
  bool retry = false;
  for (const Row& row : rack->rows) retry = retry || Retryable(row);
  Enable(window, IDC_RACK_RETRY, !running && retry);
  Enable(window, IDC_RACK_REPORT, !running && HasReports());
  // The focus must not stay on a control that was just disabled: the keyboard would be lost.
  const HWND focus = GetFocus();
  if (focus == nullptr || !IsWindowEnabled(focus)) {
    SetFocus(GetDlgItem(window, running ? IDC_RACK_STOP : IDC_RACK_ROWS));
  }
}

std::optional<RackLimits> ReadLimits() {
  BOOL parallelRead = FALSE, failuresRead = FALSE;
  const UINT parallel = GetDlgItemInt(rack->window, IDC_RACK_PARALLEL, &parallelRead, FALSE);
  const UINT failures = GetDlgItemInt(rack->window, IDC_RACK_MAX_FAILURES, &failuresRead, FALSE);
  if (!parallelRead || !failuresRead || parallel < 1 || parallel > kMaxRackUnits ||
      failures > kMaxRackUnits) {
    ShowBox(rack->window, UiString(IDS_RACK_BAD_NUMBER), IDS_ERROR, MB_OK | MB_ICONERROR);
    return std::nullopt;
  }
  RackLimits limits;
  limits.parallel = parallel;
  limits.maxFailures = failures;
  return limits;
}

UpdateSettings ReadSettings() {
  const HWND window = rack->window;
  UpdateSettings settings;
  UnitUpdatePolicy& policy = settings.policy;
  policy.job.firmware = Checked(window, IDC_RACK_FIRMWARE) && PackageHasApplication.load();
  policy.job.factoryDefaults = Checked(window, IDC_RACK_FACTORY_DEFAULTS);
  policy.parserPort = CurrentParserPort.load();
  if (Checked(window, IDC_RACK_ALLOW_OLDER)) {
    policy.askBeforeDowngrade = [](std::uint32_t, std::uint32_t) { return true; };
  }
  settings.receiptPath = rack->receiptsPath;
  settings.declinedHint = UiString(IDS_RACK_DECLINED_HINT);
  settings.again = AgainWording::Window;
  return settings;
}

// Starts the units of `rows` on the rack's thread; the window hears of them only by messages.
void StartRun(const std::vector<std::size_t>& rows) {
  const auto limits = ReadLimits();
  if (!limits) return;
  const UpdateSettings settings = ReadSettings();
  if (const auto refusal = PackageRefusal(*rack->package, settings.policy)) {
    ShowBox(rack->window, *refusal, IDS_ERROR, MB_OK | MB_ICONERROR);
    return;
  }
  auto run = std::make_unique<Run>();
  run->rows = rows;
  run->news.assign(rows.size(), false);
  run->board = std::make_shared<RackBoard>(rows.size(), rack->target);
  std::vector<UnitAddress> units;
  for (const std::size_t index : rows) {
    Row& row = rack->rows[index];
    units.push_back(*row.unit);
    row.facts = {};
    row.timing = false;
    ShowRow(index);
  }
  try {
    run->thread = platform::JoinedThread([board = run->board, package = rack->package,
                                          rackUnits = std::move(units), settings,
                                          rackLimits = *limits, stop = run->stop.get_token()] {
      platform::ThreadNameHook("rack_thread");
      const UnitJob job = [&](const UnitAddress& unit, JobObserver& observer,
                              std::stop_token unitStop) {
        return UpdateOneUnit(unit, *package, settings, observer, unitStop);
      };
      RunRack(rackUnits, job, rackLimits, *board, {stop, stop, nullptr});
      board->RunEnded();
    });
  } catch (const std::exception& failure) {
    ShowBox(rack->window, failure.what(), IDS_ERROR, MB_OK | MB_ICONERROR);
    return;
  }
  rack->run = std::move(run);
  rack->stopping = false;
  rack->stoppedShort = false;
  SetRunning(true);
  SetTimer(rack->window, kRefreshTimer, kRefreshTimerMs, nullptr);
  ShowSummary();
}

std::wstring BoxText() {
  const HWND box = GetDlgItem(rack->window, IDC_RACK_UNITS);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
  return text;
}

void UpdateAll() {
  if (rack->run != nullptr) return;
  const std::vector<RackUnitLine> lines = ReadRackUnits(Narrow(BoxText()));
  const HWND box = GetDlgItem(rack->window, IDC_RACK_UNITS);
  if (lines.empty()) {
    ShowBox(rack->window, UiString(IDS_RACK_NO_UNITS), IDS_WARNING, MB_OK | MB_ICONEXCLAMATION);
    SetFocus(box);
    return;
  }
  rack->rows.clear();
  bool refused = false;
  for (const RackUnitLine& line : lines) {
    Row row;
    row.label = line.unit ? line.unit->Label() : line.text;
    row.unit = line.unit;
    row.problem = line.problem;
    refused = refused || !line.unit;
    rack->rows.push_back(std::move(row));
  }
  FillList();
  SetRunning(false);
  if (refused) {
    rack->summary = UiText(IDS_RACK_LINES_REFUSED);
    SetDlgItemTextW(rack->window, IDC_RACK_SUMMARY, rack->summary.c_str());
    SetFocus(box);
    return;
  }
  const std::string warning = rack->package->UpdaterTexts().GetString("update-warning") + "\n\n" +
                              Filled(IDS_RACK_UNIT_COUNT, {std::to_string(lines.size())});
  if (ShowBox(rack->window, warning, IDS_WARNING, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
    return;
  }
  std::vector<std::size_t> all(rack->rows.size());
  for (std::size_t index = 0; index < all.size(); ++index) all[index] = index;
  StartRun(all);
}

void RetryFailed() {
  if (rack->run != nullptr) return;
  std::vector<std::size_t> rows;
  for (std::size_t index = 0; index < rack->rows.size(); ++index) {
    if (Retryable(rack->rows[index])) rows.push_back(index);
  }
  if (!rows.empty()) StartRun(rows);
}

void StopRun() {
  if (rack->run == nullptr) return;
  rack->stopping = true;
  rack->run->stop.request_stop();
  Enable(rack->window, IDC_RACK_STOP, false);
  SetFocus(List());
  ShowSummary();
}

void TakeRow(std::size_t unit) {
  const std::size_t index = rack->run->rows[unit];
  Row& row = rack->rows[index];
  row.facts = rack->run->board->Take(unit);
  if (row.facts.state == RackRowState::Running && !row.timing) {
    row.timing = true;
    row.started = Clock::now();
  }
  if (row.facts.state != RackRowState::Running) row.timing = false;
}

// The beat: the rows the board told of are taken (so it may tell again), the running ones redrawn.
void Refresh() {
  if (rack->run == nullptr) return;
  for (std::size_t unit = 0; unit < rack->run->news.size(); ++unit) {
    if (!rack->run->news[unit]) continue;
    rack->run->news[unit] = false;
    TakeRow(unit);
  }
  for (const std::size_t index : rack->run->rows) ShowRow(index);
  ShowSummary();
}

void OnRowChanged(std::size_t unit) {
  if (rack->run != nullptr && unit < rack->run->news.size()) rack->run->news[unit] = true;
}

void OnRunEnded() {
  if (rack->run == nullptr) return;
  // Every row is brought up to date before the board goes.
  for (std::size_t unit = 0; unit < rack->run->rows.size(); ++unit) TakeRow(unit);
  for (const std::size_t index : rack->run->rows) ShowRow(index);
  rack->run.reset();  // joins the thread, which has returned
  KillTimer(rack->window, kRefreshTimer);
  SetRunning(false);
  rack->stoppedShort = rack->stopping;
  rack->stopping = false;
  ShowSummary();
  if (rack->closeWhenStopped) DestroyWindow(rack->window);
}

void WriteReport() {
  std::vector<receipts::Receipt> kept;
  for (const Row& row : rack->rows) {
    if (row.facts.report) kept.push_back(row.facts.report->receipt);
  }
  if (kept.empty()) return;
  std::string why;
  receipts::ReportHeading heading;
  const auto key = receipts::LoadOrMakeUserKey(why);
  heading.signingKeys = key ? receipts::Fingerprint(key->key->PublicPoint()) : "unsigned";
  heading.verified =
      rack->receiptsPath.empty()
          ? std::string("The rack window's own record of this run.")
          : "The rack window's record of this run, as appended to " + rack->receiptsPath + ".";
  std::filesystem::path folder = rack->receiptsPath.empty()
                                     ? std::filesystem::temp_directory_path()
                                     : std::filesystem::path(rack->receiptsPath).parent_path();
  std::string stamp = receipts::UtcTimestamp(std::chrono::system_clock::now());
  std::erase_if(stamp, [](char c) { return c == ':' || c == '-' || c == '.'; });
  const std::filesystem::path path = folder / ("rack-report-" + stamp + ".html");
  std::ofstream file(path, std::ios::binary);
  file << receipts::ReportHtml(kept, heading);
  file.close();
  if (!file) {
    ShowBox(rack->window, Filled(IDS_RACK_REPORT_FAILED, {path.string()}), IDS_ERROR,
            MB_OK | MB_ICONERROR);
    return;
  }
  ShellExecuteW(rack->window, L"open", path.wstring().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void RequestClose() {
  if (rack->run == nullptr) {
    DestroyWindow(rack->window);
    return;
  }
  if (ShowBox(rack->window, UiString(IDS_RACK_CLOSE_RUNNING), IDS_WARNING,
              MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  rack->closeWhenStopped = true;
  StopRun();
}

void PlaceControls(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  rack->startClient = {client.right, client.bottom};
  const std::pair<int, Anchor> anchors[] = {{IDC_RACK_UNITS_LABEL, Anchor::Stay},
                                            {IDC_RACK_UNITS, Anchor::GrowWidth},
                                            {IDC_RACK_FACTORY_DEFAULTS, Anchor::Right},
                                            {IDC_RACK_FIRMWARE, Anchor::Right},
                                            {IDC_RACK_ALLOW_OLDER, Anchor::Right},
                                            {IDC_RACK_PARALLEL_LABEL, Anchor::Right},
                                            {IDC_RACK_PARALLEL, Anchor::Right},
                                            {IDC_RACK_MAX_FAILURES_LABEL, Anchor::Right},
                                            {IDC_RACK_MAX_FAILURES, Anchor::Right},
                                            {IDC_RACK_UPDATE_ALL, Anchor::Right},
                                            {IDC_RACK_STOP, Anchor::Right},
                                            {IDC_RACK_RETRY, Anchor::Right},
                                            {IDC_RACK_REPORT, Anchor::Right},
                                            {IDCANCEL, Anchor::Right},
                                            {IDC_RACK_ROWS_LABEL, Anchor::Stay},
                                            {IDC_RACK_ROWS, Anchor::GrowBoth},
                                            {IDC_RACK_SUMMARY, Anchor::BottomGrowWidth},
                                            {IDC_RACK_RECEIPTS, Anchor::BottomGrowWidth}};
  for (const auto& [id, anchor] : anchors) {
    Placed placed{id, anchor, {}};
    GetWindowRect(GetDlgItem(window, id), &placed.start);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed.start), 2);
    rack->placed.push_back(placed);
  }
}

void OnSize(HWND window, int width, int height) {
  if (rack == nullptr || rack->placed.empty()) return;
  const int dx = std::max(0, width - static_cast<int>(rack->startClient.cx));
  const int dy = std::max(0, height - static_cast<int>(rack->startClient.cy));
  HDWP batch = BeginDeferWindowPos(static_cast<int>(rack->placed.size()));
  for (const Placed& placed : rack->placed) {
    RECT at = placed.start;
    switch (placed.anchor) {
      case Anchor::Stay:
        break;
      case Anchor::Right:
        OffsetRect(&at, dx, 0);
        break;
      case Anchor::GrowWidth:
        at.right += dx;
        break;
      case Anchor::GrowBoth:
        at.right += dx;
        at.bottom += dy;
        break;
      case Anchor::BottomGrowWidth:
        OffsetRect(&at, 0, dy);
        at.right += dx;
        break;
    }
    if (batch != nullptr) {
      batch = DeferWindowPos(batch, GetDlgItem(window, placed.id), nullptr, at.left, at.top,
                             at.right - at.left, at.bottom - at.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (batch != nullptr) EndDeferWindowPos(batch);
  InvalidateRect(window, nullptr, TRUE);
}

void SetUpList(HWND window) {
  const HWND list = GetDlgItem(window, IDC_RACK_ROWS);
  const DWORD extended = LVS_EX_DOUBLEBUFFER | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  int index = 0;
  for (const ColumnLayout& layout : kColumns) {
    RECT width{0, 0, layout.width, 0};
    MapDialogRect(window, &width);
    std::wstring title = UiText(layout.title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = width.right;
    column.pszText = title.data();
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
    ++index;
  }
}

void FillBox(HWND window, const std::vector<UnitAddress>& units) {
  std::string text;
  for (const UnitAddress& unit : units) {
    text += (unit.IsNetwork() ? DottedIpv4(unit.Ipv4()) : unit.Device()) + "\r\n";
  }
  SetDlgItemTextW(window, IDC_RACK_UNITS, Widen(text).c_str());
}

void OnInitDialog(HWND window, const std::vector<UnitAddress>& units) {
  rack->window = window;
  rack->target = std::make_shared<HwndMessageTarget>(window);
  AddModelessDialog(window);
  SendDlgItemMessageW(window, IDC_RACK_UNITS, EM_SETLIMITTEXT, kUnitsBoxMaxChars, 0);
  SetUpList(window);
  CheckDlgButton(window, IDC_RACK_FACTORY_DEFAULTS,
                 OverwriteFactoryDefaults.load() ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(window, IDC_RACK_FIRMWARE, OverwriteFirmware.load() ? BST_CHECKED : BST_UNCHECKED);
  Enable(window, IDC_RACK_FIRMWARE, PackageHasApplication.load());
  SetDlgItemInt(window, IDC_RACK_PARALLEL, static_cast<UINT>(kDefaultParallelUnits), FALSE);
  SetDlgItemInt(window, IDC_RACK_MAX_FAILURES, 0, FALSE);
  std::string why;
  rack->receiptsPath = ReceiptsPath(why);
  const std::string receipts = rack->receiptsPath.empty()
                                   ? Filled(IDS_RACK_NO_RECEIPTS, {why})
                                   : Filled(IDS_RACK_RECEIPTS, {rack->receiptsPath});
  SetDlgItemTextW(window, IDC_RACK_RECEIPTS, Widen(receipts).c_str());
  FillBox(window, units);
  PlaceControls(window);
  SetFocus(GetDlgItem(window, IDC_RACK_UNITS));
}

INT_PTR CALLBACK RackDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window, *reinterpret_cast<const std::vector<UnitAddress>*>(lParam));
      return FALSE;  // the focus was set: the unit box
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_RACK_UPDATE_ALL:
          UpdateAll();
          return TRUE;
        case IDC_RACK_STOP:
          StopRun();
          return TRUE;
        case IDC_RACK_RETRY:
          RetryFailed();
          return TRUE;
        case IDC_RACK_REPORT:
          WriteReport();
          return TRUE;
        case IDCANCEL:
          RequestClose();
          return TRUE;
        default:
          return FALSE;
      }
    case WM_APP_RACK_ROW_CHANGED:
      OnRowChanged(static_cast<std::size_t>(wParam));
      return TRUE;
    case WM_APP_RACK_RUN_ENDED:
      OnRunEnded();
      return TRUE;
    case WM_TIMER:
      if (wParam == kRefreshTimer) Refresh();
      return TRUE;
    case WM_SIZE:
      OnSize(window, LOWORD(lParam), HIWORD(lParam));
      return TRUE;
    case WM_GETMINMAXINFO: {
      // No smaller than the template: every control stays whole.
      if (rack != nullptr && rack->startClient.cx > 0) {
        RECT frame{0, 0, rack->startClient.cx, rack->startClient.cy};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
      }
      return TRUE;
    }
    case WM_CLOSE:
      RequestClose();
      return TRUE;
    case WM_DESTROY:
      RemoveModelessDialog(window);
      KillTimer(window, kRefreshTimer);
      if (rack != nullptr) {
        // The owner is going (the program ends): the units stop at their next exchange.
        if (rack->run != nullptr) rack->run->stop.request_stop();
        if (rack->target) rack->target->Detach();
        rack->run.reset();
      }
      return TRUE;
    case WM_NCDESTROY:
      rack.reset();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

HWND RackWindowHandle() { return rack != nullptr ? rack->window : nullptr; }

void OpenRackWindow(HWND owner, std::shared_ptr<const Package> package,
                    const std::vector<UnitAddress>& units) {
  if (rack != nullptr) {
    if (rack->run == nullptr && !units.empty()) FillBox(rack->window, units);
    ShowWindow(rack->window, SW_SHOWNORMAL);
    SetForegroundWindow(rack->window);
    SetFocus(GetDlgItem(rack->window, IDC_RACK_UNITS));
    return;
  }
  rack = std::make_unique<RackWindowState>();
  rack->package = std::move(package);
  const HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_RACK),
                                         owner, RackDialogProc, reinterpret_cast<LPARAM>(&units));
  if (window == nullptr) {
    rack.reset();
    return;
  }
  ShowWindow(window, SW_SHOWNORMAL);
}

}  // namespace tessaline
