// Whether standard output is an interactive terminal (live progress needs one).
#pragma once

namespace tessaline::platform {

bool StdoutIsTerminal();

}  // namespace tessaline::platform
