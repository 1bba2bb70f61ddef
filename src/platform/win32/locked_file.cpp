// LockedFile on Windows: LockFileEx over the whole file, append-only writes, FlushFileBuffers.
#include "platform/locked_file.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

namespace {

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::string SystemReason(const std::string& what) {
  return what + " (Windows error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

std::optional<std::intptr_t> LockedFile::OpenHandle(const std::string& path, FileLockMode mode,
                                                   std::string& error) {
  const bool append = mode == FileLockMode::ExclusiveAppend;
  // Append access without FILE_WRITE_DATA: every write lands at the end of the file.
  const DWORD access =
      append ? FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES : GENERIC_READ;
  const HANDLE handle =
      CreateFileW(WideFromUtf8(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = SystemReason("cannot open");
    return std::nullopt;
  }
  return reinterpret_cast<std::intptr_t>(handle);
}

bool LockedFile::IsRegularFile() const { return GetFileType(Handle(handle_)) == FILE_TYPE_DISK; }

LockedFile::LockAttempt LockedFile::TryLock(FileLockMode mode, std::string& error) {
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY |
                      (mode == FileLockMode::ExclusiveAppend ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  OVERLAPPED whole{};
  if (LockFileEx(Handle(handle_), flags, 0, MAXDWORD, MAXDWORD, &whole)) {
    return LockAttempt::Granted;
  }
  if (GetLastError() == ERROR_LOCK_VIOLATION) return LockAttempt::Busy;
  error = SystemReason("cannot lock");
  return LockAttempt::Failed;
}

void LockedFile::Close() noexcept {
  if (handle_ == kNoHandle) return;
  OVERLAPPED whole{};
  UnlockFileEx(Handle(handle_), 0, MAXDWORD, MAXDWORD, &whole);
  CloseHandle(Handle(handle_));
  handle_ = kNoHandle;
}

std::optional<std::uint64_t> LockedFile::Size(std::string& error) const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Handle(handle_), &size)) {
    error = SystemReason("cannot read the file size");
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<std::size_t> LockedFile::ReadSome(std::uint64_t offset, std::span<char> into,
                                                std::string& error) const {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const DWORD want = into.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(into.size());
  DWORD got = 0;
  if (!ReadFile(Handle(handle_), into.data(), want, &got, &at)) {
    error = SystemReason("cannot read");
    return std::nullopt;
  }
  return got;
}

std::optional<std::size_t> LockedFile::ReadNext(std::span<char> into, std::string& error) const {
  const DWORD want = into.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(into.size());
  DWORD got = 0;
  if (!ReadFile(Handle(handle_), into.data(), want, &got, nullptr)) {
    // The writing end of a pipe closed: its end.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    error = SystemReason("cannot read");
    return std::nullopt;
  }
  return got;
}

std::optional<std::size_t> LockedFile::AppendSome(std::string_view bytes, std::string& error) {
  // Offset 0xFFFFFFFF:0xFFFFFFFF asks for the end of the file, whatever a read moved.
  OVERLAPPED end{};
  end.Offset = MAXDWORD;
  end.OffsetHigh = MAXDWORD;
  const DWORD want = bytes.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(bytes.size());
  DWORD put = 0;
  if (!WriteFile(Handle(handle_), bytes.data(), want, &put, &end) || put == 0) {
    error = SystemReason("cannot write");
    return std::nullopt;
  }
  return put;
}

bool LockedFile::Flush(std::string& error) {
  if (!FlushFileBuffers(Handle(handle_))) {
    error = SystemReason("cannot flush to the disk");
    return false;
  }
  return true;
}

}  // namespace tessaline::platform
