// The start-up splash window on a thread of its own.
#pragma once

#include <windows.h>

namespace tessaline {

void StartSplash(HINSTANCE instance);
// Asks the splash thread to end and waits for it.
void EndSplash();

}  // namespace tessaline
