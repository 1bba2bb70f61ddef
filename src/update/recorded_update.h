// One unit's update with its record: the core's verdict and the receipt appended to the user's
// receipts file. Every front end that runs units by the rack (the command line, the rack window)
// runs each unit through this.
#pragma once

#include <stop_token>
#include <string>

#include "package/package.h"
#include "receipts/receipt.h"
#include "transport/unit_address.h"
#include "update/unit_update.h"
#include "update/verdict.h"

namespace tessaline {

// What the user asked for, the same for every unit of a run.
struct UpdateSettings {
  UnitUpdatePolicy policy;  // the guard and stop are set per unit
  std::string receiptPath;  // one line appended per unit; empty: none
  // The installer PIN: units in application mode are taken into bootload mode with it. Empty:
  // only units in bootload mode are updated. Never shown.
  std::string pin;
  // Added to a declined unit's text: how this front end overrides the version guard.
  std::string declinedHint;
  // How a unit left part way is told to be finished.
  AgainWording again = AgainWording::Command;
};

// How one unit's update ended, with everything a summary, an event or a receipt needs.
struct UnitUpdateReport {
  JobResult job;
  Verdict outcome;              // exit code, result word and the text shown
  receipts::Receipt receipt;    // the unit's facts; `prev` empty
  bool receiptWritten = false;  // appended to UpdateSettings::receiptPath
  std::string receiptError;     // why it could not be, when it could not
};

// Runs the update on `unit` on the calling thread; `stop` ends it at an exchange boundary.
UnitUpdateReport UpdateOneUnit(const UnitAddress& unit, const Package& package,
                               const UpdateSettings& settings, JobObserver& observer,
                               std::stop_token stop = {});

}  // namespace tessaline
