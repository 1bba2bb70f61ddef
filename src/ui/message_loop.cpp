// The main message loop with accelerator translation.
#include "ui/message_loop.h"

#include <algorithm>
#include <vector>

namespace tessaline {
namespace {
std::vector<HWND> modelessDialogs;  // the user-interface thread's only

void Dispatch(MSG& message, HWND mainWindow, HACCEL accelerators) {
  for (HWND dialog : modelessDialogs) {
    if ((message.hwnd == dialog || IsChild(dialog, message.hwnd) != FALSE) &&
        IsDialogMessageW(dialog, &message)) {
      return;
    }
  }
  // Keys arrive at the focused control; the accelerators and dialog keys are the main window's.
  if (mainWindow != nullptr &&
      (message.hwnd == mainWindow || IsChild(mainWindow, message.hwnd) != FALSE)) {
    if (accelerators != nullptr && TranslateAcceleratorW(mainWindow, accelerators, &message)) {
      return;
    }
    if (IsDialogMessageW(mainWindow, &message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}
}  // namespace

void AddModelessDialog(HWND dialog) { modelessDialogs.push_back(dialog); }

void RemoveModelessDialog(HWND dialog) { std::erase(modelessDialogs, dialog); }

int RunMainMessageLoop(HWND mainWindow, HACCEL accelerators) {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(message, mainWindow, accelerators);
  return static_cast<int>(message.wParam);
}

bool PumpPendingMessages(HWND mainWindow, HACCEL accelerators) {
  MSG message{};
  bool quit = false;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit = true;
      continue;
    }
    Dispatch(message, mainWindow, accelerators);
  }
  return quit;
}

}  // namespace tessaline
