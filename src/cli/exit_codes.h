// The process exit codes of tessaline-update: the one table is the core's, since a unit's verdict
// carries its code into summaries and receipts.
#pragma once

#include "update/exit_codes.h"

namespace tessaline::cli {
using tessaline::ExitCode;
using enum tessaline::ExitCode;
}  // namespace tessaline::cli
