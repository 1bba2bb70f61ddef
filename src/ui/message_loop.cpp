// The main message loop with accelerator translation.
#include "ui/message_loop.h"

namespace tessaline {
namespace {
void Dispatch(MSG& message, HACCEL accelerators) {
  if (accelerators != nullptr && TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
    return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}
}  // namespace

int RunMainMessageLoop(HACCEL accelerators) {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(message, accelerators);
  return static_cast<int>(message.wParam);
}

bool PumpPendingMessages(HACCEL accelerators) {
  MSG message{};
  bool quit = false;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit = true;
      continue;
    }
    Dispatch(message, accelerators);
  }
  return quit;
}

}  // namespace tessaline
