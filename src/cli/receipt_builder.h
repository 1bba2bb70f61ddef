// One unit's update report turned into its receipt: the record a receipts file keeps and the
// --json result event carries.
#pragma once

#include <chrono>
#include <string>

#include "cli/output.h"
#include "cli/unit_update.h"
#include "receipts/receipt.h"
#include "transport/unit_address.h"

namespace tessaline::cli {

// Everything but `prev`, which AppendReceipt fills in. `finished` is when the job ended.
receipts::Receipt BuildReceipt(const UnitAddress& unit, const UnitUpdateReport& report,
                               const UpdateSettings& settings,
                               std::chrono::system_clock::time_point finished);

// The --json "result" event of one unit: result, text and exit code as for every command, and the
// unit's facts as its receipt object under "receipt".
JsonEvent ResultEvent(const UnitUpdateReport& report);

}  // namespace tessaline::cli
