// update --plan: what would happen to every unit and why, read without changing any unit.
#pragma once

#include <vector>

#include "cli/output.h"
#include "package/package.h"
#include "transport/unit_address.h"
#include "update/unit_update.h"

namespace tessaline::cli {

// Reads every unit's mode and versions (the version query only: no PIN, no erase), prints each
// unit's action and blockers, and returns 0 only when every unit would proceed.
int ShowUpdatePlan(const std::vector<UnitAddress>& units, const Package& package,
                   const UnitUpdatePolicy& policy, bool havePin, Output& output);

}  // namespace tessaline::cli
