// The report handed over after a site's updates: one self-contained HTML page, or CSV rows.
#pragma once

#include <string>
#include <vector>

#include "receipts/receipt.h"

namespace tessaline::receipts {

struct ReportHeading {
  std::string site;         // the operator's text: site, rack, ticket
  std::string signingKeys;  // fingerprints of the keys that signed the lines, or "unsigned"
  std::string verified;     // one sentence: what was checked, with which key
};

// How a receipt counts in the summary: "updated" (its job succeeded), "skipped" (refused before
// anything was written: a newer unit, a refused package) or "failed".
std::string SummaryClass(const Receipt& receipt);

// One page, styles inline, no scripts or external files; laid out to print on A4 and Letter.
std::string ReportHtml(const std::vector<Receipt>& receipts, const ReportHeading& heading);
// The same rows (full digests), with a header row; RFC 4180 quoting.
std::string ReportCsv(const std::vector<Receipt>& receipts);

}  // namespace tessaline::receipts
