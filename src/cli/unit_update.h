// One unit's update on the command line: the core's verdict, the hints the command line adds and
// the receipt file. Every front end of the command line (one unit or a rack) runs a unit through
// this.
#pragma once

#include <stop_token>
#include <string>

#include "cli/job_runner.h"
#include "cli/output.h"
#include "package/package.h"
#include "receipts/receipt.h"
#include "transport/unit_address.h"
#include "update/unit_update.h"
#include "update/verdict.h"

namespace tessaline::cli {

// What the user asked for, the same for every unit of a run.
struct UpdateSettings {
  UnitUpdatePolicy policy;  // the guard and stop are set per unit
  std::string receiptPath;  // --receipt FILE: one line appended per unit; empty: none
  // The installer PIN: units in application mode are taken into bootload mode with it. Empty:
  // only units in bootload mode are updated. Never shown.
  std::string pin;
};

// How one unit's update ended, with everything a summary, a JSON event or a receipt needs.
struct UnitUpdateReport {
  JobResult job;
  OutcomeReport outcome;        // exit code, result word and the text shown
  receipts::Receipt receipt;    // the unit's facts; `prev` empty
  bool receiptWritten = false;  // appended to UpdateSettings::receiptPath
  std::string receiptError;     // why it could not be, when it could not
};

// Runs the update on `unit` on the calling thread; `stop` ends it at an exchange boundary.
UnitUpdateReport UpdateOneUnit(const UnitAddress& unit, const Package& package,
                               const UpdateSettings& settings, JobObserver& observer,
                               std::stop_token stop = {});

// The --json "result" event of one unit: result, text and exit code as for every command, and the
// unit's facts as its receipt object under "receipt".
JsonEvent ResultEvent(const UnitUpdateReport& report);

}  // namespace tessaline::cli
