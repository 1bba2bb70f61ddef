// The command line's interrupt scope: one stop request for every job of the run.
#include "cli/interrupt.h"

namespace tessaline::cli {

InterruptScope::InterruptScope()
    : watch_([this] {
        interrupted_ = true;
        stop_.request_stop();
      }) {}

InterruptScope::~InterruptScope() { watch_.WorkDone(); }

}  // namespace tessaline::cli
