// Serial port diagnosis on Windows: the open error says whether the port is absent or in use.
#include "platform/serial_port_probe.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

void ExplainOpenFailure(SerialPortProbe& probe) {
  const std::wstring wide = WideFromUtf8(probe.device);
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
  const DWORD cause = handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  switch (cause) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      probe.state = SerialPortState::Absent;
      probe.detail = "no such port";
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_SUCCESS:  // opens by itself: the updater's own lock on the port is held
      // Windows does not say which program holds a port.
      probe.state = SerialPortState::InUse;
      probe.detail = "in use by another program";
      break;
    default:
      probe.state = SerialPortState::Failed;
      probe.detail = "error " + std::to_string(cause);
      break;
  }
}

}  // namespace tessaline::platform
