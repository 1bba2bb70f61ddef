// The notification-area icon that animates while the updater is busy.
#pragma once

#include <windows.h>

namespace tessaline {

void AddTrayIcon(HINSTANCE instance, HWND mainWindow);
// Stops the animation thread, then deletes the icon.
void RemoveTrayIcon(HWND mainWindow);
void StartTrayAnimation();
void StopTrayAnimation();
bool TrayAnimating();
bool TrayIconPresent();

}  // namespace tessaline
