// Terminal detection and size on Windows: a console, not a pipe or a file.
#include "platform/terminal.h"

#include <windows.h>

namespace tessaline::platform {

bool StdoutIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

std::optional<TerminalSize> StdoutTerminalSize() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return std::nullopt;
  // The visible window, not the whole buffer behind it.
  const auto columns = info.srWindow.Right - info.srWindow.Left + 1;
  const auto rows = info.srWindow.Bottom - info.srWindow.Top + 1;
  if (columns <= 0 || rows <= 0) return std::nullopt;
  return TerminalSize{static_cast<std::size_t>(columns), static_cast<std::size_t>(rows)};
}

}  // namespace tessaline::platform
