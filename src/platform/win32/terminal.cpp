// Terminal detection on Windows: a console, not a pipe or a file.
#include "platform/terminal.h"

#include <windows.h>

namespace tessaline::platform {

bool StdoutIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace tessaline::platform
