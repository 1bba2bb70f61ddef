// Entry of TessalineUpdater.exe.
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return tessaline::RunUpdaterProcess(instance);
}
