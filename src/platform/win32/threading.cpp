// Thread names on Windows: SetThreadDescription, looked up because Windows 7 and 8 lack it.
#include "platform/threading.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

void ThreadNameHook(const char* name) {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto setDescription = reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (setDescription == nullptr) return;
  setDescription(GetCurrentThread(), WideFromUtf8(name).c_str());
}

}  // namespace tessaline::platform
