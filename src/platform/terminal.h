// Whether standard output is an interactive terminal (live progress needs one), and its size.
#pragma once

#include <cstddef>
#include <optional>

namespace tessaline::platform {

bool StdoutIsTerminal();

struct TerminalSize {
  std::size_t columns = 0;
  std::size_t rows = 0;
};
// The size of the terminal standard output shows in, as it is now (it changes when the window
// is resized); none when it is no terminal or does not tell.
std::optional<TerminalSize> StdoutTerminalSize();

}  // namespace tessaline::platform
