// The updater's main window: connection choice, unit state, jobs and their outcome.
#pragma once

#include <windows.h>

#include "ui/main_window_controls.h"

namespace tessaline {

bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the window from its template (the class must be registered); null on failure.
HWND CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// True while an update or exit-bootload job of the main window runs.
bool MainWindowJobRunning();

}  // namespace tessaline
