// The main window's control-state routines and the unit its connection controls name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "transport/unit_address.h"

namespace tessaline {

// Plain states of the window's control `id`.
void Enable(HWND window, int id, bool enable);
bool Checked(HWND window, int id);
// The COM port list's selection; CB_ERR when none.
LRESULT ComboSelection(HWND window);

void SetUpdateEnabled(HWND window, bool enable);
void SetExitBootloadEnabled(HWND window, bool enable);
void SetUnitActions(HWND window, bool enable);
void SetIpGroupEnabled(HWND window, bool enable);
void SetComGroupEnabled(HWND window, bool enable);
void SetControlSet(HWND window, bool enable);
void FillComPortList(HWND window);
void SetProgressRange(HWND window, std::uint32_t low, std::uint32_t high);
void SetProgressPos(HWND window, std::uint32_t position);

// The unit of the chosen connection; none when COM Port is chosen and no port is selected.
std::optional<UnitAddress> ConnectionUnit(HWND window);

// A unit can be named: IP Address is chosen, or COM Port with a port selected.
bool ConnectionNamed(HWND window);
// The serial unit on row `index` of the COM port list; none past its end.
std::optional<UnitAddress> SerialUnit(std::size_t index);
// Selects the COM port list's row of `unit`; false when the list does not hold it.
bool SelectPort(HWND window, const UnitAddress& unit);

}  // namespace tessaline
