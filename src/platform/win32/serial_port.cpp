// Serial ports on Windows: comm handles opened without sharing, with driver-side time-outs; the
// line format is put back as found when closed.
#include "platform/serial_port.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

struct LineStateToRestore {
  std::optional<DCB> control;  // as found, kept by the first Configure
};

void LineStateDeleter::operator()(LineStateToRestore* state) const noexcept {
  std::default_delete<LineStateToRestore>()(state);
}

namespace {

constexpr std::uint32_t kOpenReadWaitMs = 200;
constexpr DWORD kWriteMsPerByte = 1;
constexpr unsigned kLastComPort = 255;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A kernel object name for the device: names may not hold backslashes, and device names are
// case-insensitive.
std::wstring LockNameFor(const std::wstring& device) {
  std::wstring name = L"Local\\Tessaline.SerialPort.";
  for (wchar_t c : device) {
    if (c == L'\\') c = L'_';
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    name.push_back(c);
  }
  return name;
}

// The named lock, or null when another SerialPort holds one for the same device.
HANDLE TakeDeviceLock(const std::wstring& device) {
  HANDLE lock = CreateMutexW(nullptr, FALSE, LockNameFor(device).c_str());
  if (lock != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(lock);
    return nullptr;
  }
  return lock;
}

// Reads never wait for the line to fall quiet: the caller decodes as it reads. Interval and
// multiplier MAXDWORD with a constant would say "return with the first bytes" in one setting, but
// Wine 8 treats that as a plain 200 ms total (measured: every read waited it out). So a read takes
// what has arrived at once (interval MAXDWORD, no totals) and, only when nothing has, waits for
// one byte up to the silent-line wait; both settings mean the same on Windows and under Wine.
bool SetTimeouts(HANDLE port, std::uint32_t oneByteWaitMs) {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = oneByteWaitMs == 0 ? MAXDWORD : 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = oneByteWaitMs;
  timeouts.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
  timeouts.WriteTotalTimeoutConstant = kSerialWriteSlackMs;
  return SetCommTimeouts(port, &timeouts) != FALSE;
}

}  // namespace

bool SerialPort::Open(const std::string& device) {
  Close();
  lastError_.clear();
  const std::wstring name = WideFromUtf8(device);
  HANDLE lock = TakeDeviceLock(name);
  if (lock == nullptr) {
    lastError_ = "in use by another program";
    return false;
  }
  HANDLE port = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE || port == nullptr) {
    lastError_ = SystemErrorText(GetLastError());
    CloseHandle(lock);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(port);
  deviceLock_ = reinterpret_cast<std::intptr_t>(lock);
  restore_.reset(std::make_unique<LineStateToRestore>().release());
  // A failure here shows up as reads that wait differently; the port is still usable.
  SetTimeouts(port, kOpenReadWaitMs);
  driverWaitMs_ = kOpenReadWaitMs;
  return true;
}

bool SerialPort::Configure(std::uint32_t baudRate) {
  if (!IsOpen()) return false;
  DCB control{};
  control.DCBlength = sizeof control;
  const bool read = GetCommState(AsHandle(handle_), &control) != FALSE;
  if (read && restore_ && !restore_->control) restore_->control = control;
  // Only the line format changes; flow control stays as the driver reported it.
  control.BaudRate = baudRate;
  control.ByteSize = 8;
  control.Parity = NOPARITY;
  control.StopBits = ONESTOPBIT;
  control.fParity = FALSE;
  if (SetCommState(AsHandle(handle_), &control) == FALSE) {
    lastError_ = SystemErrorText(GetLastError());
    return false;
  }
  return true;
}

void SerialPort::Close() noexcept {
  const auto restore = std::move(restore_);
  if (handle_ != -1) {
    HANDLE port = AsHandle(std::exchange(handle_, -1));
    if (restore && restore->control) SetCommState(port, &*restore->control);
    CloseHandle(port);
  }
  if (deviceLock_ != 0) CloseHandle(AsHandle(std::exchange(deviceLock_, 0)));
}

bool SerialPort::Write(const std::uint8_t* bytes, std::uint32_t count) {
  if (!IsOpen()) return false;
  DWORD written = 0;
  return WriteFile(AsHandle(handle_), bytes, count, &written, nullptr) != FALSE;
}

SerialReadResult SerialPort::Read(std::uint8_t* buffer, std::uint32_t capacity,
                                  std::uint32_t maxWaitMs) {
  if (!IsOpen() || capacity == 0) return {};
  HANDLE port = AsHandle(handle_);
  // driverWaitMs_ 0: the driver returns at once with what has arrived.
  const auto readWith = [&](std::uint32_t waitMs, std::uint8_t* into, DWORD count,
                            DWORD& got) -> bool {
    if (waitMs != driverWaitMs_ && SetTimeouts(port, waitMs)) driverWaitMs_ = waitMs;
    got = 0;
    if (ReadFile(port, into, count, &got, nullptr) != FALSE) return true;
    // A line error aborts reads when the driver has abort-on-error set; clearing it keeps the
    // port. Anything else (a removed USB adapter: access denied, device gone) fails every read.
    DWORD errors = 0;
    return GetLastError() == ERROR_OPERATION_ABORTED &&
           ClearCommError(port, &errors, nullptr) != FALSE;
  };
  DWORD got = 0;
  if (!readWith(0, buffer, capacity, got)) return {0, true};
  if (got > 0 || maxWaitMs == 0) return {got, false};
  if (!readWith(maxWaitMs, buffer, 1, got)) return {0, true};
  if (got == 0) return {};
  DWORD more = 0;
  if (capacity > 1 && !readWith(0, buffer + 1, capacity - 1, more)) return {1, true};
  return {1 + more, false};
}

std::vector<std::string> SerialPortCandidates() {
  std::vector<std::string> names;
  names.reserve(kLastComPort);
  for (unsigned n = 1; n <= kLastComPort; ++n) {
    names.push_back("\\\\.\\COM" + std::to_string(n));
  }
  return names;
}

}  // namespace tessaline::platform
