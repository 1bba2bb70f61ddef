// The receipts report as HTML for people and CSV for spreadsheets, from the same rows.
#include "receipts/receipt_report.h"

#include <array>
#include <cstdio>

namespace tessaline::receipts {

namespace {

struct Row {
  std::string unit, time, outcome, reason, versions, build, application, flashData, taken;
  std::uint32_t resends = 0;
};

std::string Seconds(std::uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(milliseconds) / 1000.0);
  return text;
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

Row RowOf(const Receipt& r) {
  Row row{r.unit,
          r.time,
          r.outcome.result + " (" + std::to_string(r.outcome.exitCode) + ")",
          r.outcome.reason,
          OrDash(r.applicationVersionBefore) + " \u2192 " + OrDash(r.applicationVersionAfter),
          OrDash(r.packageBuildVersion),
          r.applicationSha256,
          r.flashDataSha256,
          Seconds(r.totalMs)};
  for (const StageRecord& stage : r.stages) row.resends += stage.resends;
  return row;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// The first 10 hex digits shown, the whole digest on hover.
std::string ShortDigest(const std::string& digest) {
  if (digest.empty()) return "-";
  return "<span class=\"digest\" title=\"" + digest + "\">" + digest.substr(0, 10) +
         "&hellip;</span>";
}

// "2024-05-01 09:30:12", the full time on hover: the cell breaks between date and time only.
std::string DateThenTime(const std::string& time) {
  std::string shown = time.substr(0, 19);
  if (shown.size() > 10 && shown[10] == 'T') shown[10] = ' ';
  return "<span title=\"" + Escaped(time) + "\">" + Escaped(shown) + "</span>";
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

constexpr const char* kStyle = R"(
@page { size: auto; margin: 12mm; }
body { font: 10pt/1.35 "DejaVu Sans", Arial, sans-serif; color: #000; margin: 0 auto; max-width: 186mm; }
h1 { font-size: 15pt; margin: 0 0 2mm; }
p.meta { margin: 0 0 1mm; }
table { border-collapse: collapse; width: 100%; table-layout: fixed; }
th, td { border: 0.3mm solid #888; padding: 1mm 1.2mm; text-align: left; vertical-align: top;
         overflow-wrap: break-word; font-size: 8pt; }
th { font-size: 7.5pt; }
th { background: #eee; }
thead { display: table-header-group; }
tr { page-break-inside: avoid; break-inside: avoid; }
table.summary { width: auto; margin: 3mm 0; }
table.summary td { font-size: 10pt; padding: 1mm 4mm; }
.digest { font-family: "DejaVu Sans Mono", monospace; }
td .digest { white-space: nowrap; font-size: 7.5pt; }
.failed { background: #fde8e8; }
.skipped { background: #f3f3f3; }
p.verified { margin-top: 3mm; font-size: 9pt; }
@media print { th { background: #eee !important; -webkit-print-color-adjust: exact; print-color-adjust: exact; } }
)";

}  // namespace

std::string SummaryClass(const Receipt& receipt) {
  if (receipt.outcome.exitCode == 0) return "updated";
  if (receipt.outcome.result == "declined" || receipt.outcome.result == "package-refused") {
    return "skipped";
  }
  return "failed";
}

std::string ReportHtml(const std::vector<Receipt>& receipts, const ReportHeading& heading) {
  std::array<std::size_t, 3> counts{};  // updated, failed, skipped
  for (const Receipt& r : receipts) {
    const std::string kind = SummaryClass(r);
    ++counts[kind == "updated" ? 0 : kind == "failed" ? 1 : 2];
  }
  const std::string span = receipts.empty() ? std::string("no updates")
                                            : receipts.front().time + " to " + receipts.back().time;
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>"
      "Firmware update report: " +
      Escaped(heading.site) + "</title>\n<style>" + kStyle + "</style></head><body>\n";
  html += "<h1>Firmware update report: " + Escaped(heading.site) + "</h1>\n";
  html += "<p class=\"meta\">Time span (UTC): " + Escaped(span) + "</p>\n";
  html += "<p class=\"meta\">Signing key fingerprint: <span class=\"digest\">" +
          Escaped(heading.signingKeys) + "</span></p>\n";
  html += "<table class=\"summary\"><tr><td>Units updated</td><td>" + std::to_string(counts[0]) +
          "</td><td>Failed</td><td>" + std::to_string(counts[1]) + "</td><td>Skipped</td><td>" +
          std::to_string(counts[2]) + "</td></tr></table>\n";
  html +=
      "<table class=\"updates\"><colgroup><col style=\"width:13%\"><col style=\"width:11%\">"
      "<col style=\"width:22%\"><col style=\"width:9%\"><col style=\"width:6%\">"
      "<col style=\"width:12%\"><col style=\"width:12%\"><col style=\"width:7%\">"
      "<col style=\"width:8%\"></colgroup>\n<thead><tr><th>Unit</th><th>Time (UTC)</th>"
      "<th>Outcome</th><th>Version before &rarr; after</th><th>Build</th>"
      "<th>Application SHA-256</th><th>Flash data SHA-256</th><th>Taken</th>"
      "<th>Resends</th></tr></thead>\n<tbody>\n";
  for (const Receipt& r : receipts) {
    const Row row = RowOf(r);
    html += "<tr class=\"" + SummaryClass(r) + "\"><td>" + Escaped(row.unit) + "</td><td>" +
            DateThenTime(row.time) + "</td><td><b>" + Escaped(row.outcome) + "</b> " +
            Escaped(row.reason) + "</td><td>" + Escaped(row.versions) + "</td><td>" +
            Escaped(row.build) + "</td><td>" + ShortDigest(row.application) + "</td><td>" +
            ShortDigest(row.flashData) + "</td><td>" + row.taken + "</td><td>" +
            std::to_string(row.resends) + "</td></tr>\n";
  }
  html += "</tbody></table>\n<p class=\"verified\">" + Escaped(heading.verified) +
          "</p>\n</body></html>\n";
  return html;
}

std::string ReportCsv(const std::vector<Receipt>& receipts) {
  std::string csv =
      "unit,time,outcome,reason,version_before,version_after,package_build_version,"
      "application_sha256,flash_data_sha256,total_ms,resends\r\n";
  for (const Receipt& r : receipts) {
    const Row row = RowOf(r);
    const std::array<std::string, 11> fields = {row.unit,
                                                row.time,
                                                r.outcome.result,
                                                row.reason,
                                                r.applicationVersionBefore,
                                                r.applicationVersionAfter,
                                                r.packageBuildVersion,
                                                row.application,
                                                row.flashData,
                                                std::to_string(r.totalMs),
                                                std::to_string(row.resends)};
    for (std::size_t i = 0; i < fields.size(); ++i) {
      csv += (i ? "," : "") + CsvField(fields[i]);
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace tessaline::receipts
