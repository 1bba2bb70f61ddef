// The updater's main window: connection choice, unit state, jobs and their outcome.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/main_window_controls.h"

namespace tessaline {

class Package;

bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the window from its template (the class must be registered); null on failure. The
// window shows `package`'s texts and writes its images.
HWND CreateMainWindow(HINSTANCE instance, std::shared_ptr<const Package> package);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// True while an update or exit-bootload job of the main window runs.
bool MainWindowJobRunning();

}  // namespace tessaline
