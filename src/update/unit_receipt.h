// What a receipt records of one unit's update: the job's facts, the policy it ran under and the
// verdict shown.
#pragma once

#include <chrono>

#include "receipts/receipt.h"
#include "transport/unit_address.h"
#include "update/unit_update.h"
#include "update/verdict.h"

namespace tessaline {

// Everything but `prev`, which AppendReceipt fills in. `finished` is when the job ended.
receipts::Receipt BuildReceipt(const UnitAddress& unit, const JobResult& job,
                               const UnitUpdatePolicy& policy, const Package& package,
                               const Verdict& verdict,
                               std::chrono::system_clock::time_point finished);

}  // namespace tessaline
