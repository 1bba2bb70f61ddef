// Terminal detection and size on POSIX.
#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace tessaline::platform {

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

std::optional<TerminalSize> StdoutTerminalSize() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
    return std::nullopt;
  }
  return TerminalSize{size.ws_col, size.ws_row};
}

}  // namespace tessaline::platform
