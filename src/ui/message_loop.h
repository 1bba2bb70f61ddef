// The user-interface thread's message loop.
#pragma once

#include <windows.h>

namespace tessaline {

// Runs until WM_QUIT and returns its exit code; keystrokes pass the accelerator table first.
int RunMainMessageLoop(HACCEL accelerators);

// Handles every waiting message of this thread the same way, then returns; a WM_QUIT found on
// the way is dropped and reported by a true result (test harnesses that outlive one window).
bool PumpPendingMessages(HACCEL accelerators = nullptr);

}  // namespace tessaline
