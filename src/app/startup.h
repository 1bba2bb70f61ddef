// The desktop program from entry to exit: start-up order, message loop, shut-down order.
#pragma once

#include <windows.h>

namespace tessaline {

inline constexpr int kExitNoApplicationImage = 1;
inline constexpr int kExitNoMainWindow = 2;

// Runs the whole program on the calling thread (named main_application) and returns its exit code.
int RunUpdaterProcess(HINSTANCE instance);

}  // namespace tessaline
