// Terminal detection on POSIX.
#include "platform/terminal.h"

#include <unistd.h>

namespace tessaline::platform {

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace tessaline::platform
