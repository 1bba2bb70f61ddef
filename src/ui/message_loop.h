// The user-interface thread's message loop.
#pragma once

#include <windows.h>

namespace tessaline {

// Runs until WM_QUIT and returns its exit code. Keystrokes for the main window or any of its
// controls pass its accelerator table first, then its dialog keys (Tab, Shift+Tab, Enter).
int RunMainMessageLoop(HWND mainWindow, HACCEL accelerators);

// Handles every waiting message of this thread the same way, then returns; a WM_QUIT found on
// the way is dropped and reported by a true result (test harnesses that outlive one window).
bool PumpPendingMessages(HWND mainWindow = nullptr, HACCEL accelerators = nullptr);

// A modeless dialog (the rack window) whose keys both loops pass to its dialog manager while it
// lives: Tab, Enter, Esc and its accelerators.
void AddModelessDialog(HWND dialog);
void RemoveModelessDialog(HWND dialog);

}  // namespace tessaline
