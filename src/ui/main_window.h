// The updater's main window: connection choice, unit state, jobs and their outcome.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>

#include "transport/unit_address.h"

namespace tessaline {

bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the window from its template (the class must be registered); null on failure.
HWND CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Control-state routines.
void SetUpdateEnabled(HWND window, bool enable);
void SetEnterBootloadEnabled(HWND window, bool enable);
void SetExitBootloadEnabled(HWND window, bool enable);
void SetUnitActions(HWND window, bool enable);
void SetIpGroupEnabled(HWND window, bool enable);
void SetComGroupEnabled(HWND window, bool enable);
void SetControlSet(HWND window, bool enable);
void BindCheckBox(HWND window, int controlId, std::atomic<bool>* flag);
void FillComPortList(HWND window);
void SetProgressRange(HWND window, std::uint32_t low, std::uint32_t high);
void SetProgressPos(HWND window, std::uint32_t position);

// The unit of the chosen connection; none when COM Port is chosen and no port is selected.
std::optional<UnitAddress> ConnectionUnit(HWND window);

// True while an update or exit-bootload job of the main window runs.
bool MainWindowJobRunning();

}  // namespace tessaline
