// LockedFile on POSIX: flock (per open file, so threads of one process exclude each other),
// O_APPEND writes and fsync.
#include "platform/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessaline::platform {

namespace {
std::string SystemReason(const std::string& what) { return what + ": " + std::strerror(errno); }
int Fd(std::intptr_t handle) { return static_cast<int>(handle); }
}  // namespace

std::optional<std::intptr_t> LockedFile::OpenHandle(const std::string& path, FileLockMode mode,
                                                   std::string& error) {
  const int flags = mode == FileLockMode::ExclusiveAppend
                        ? O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC
                        : O_RDONLY | O_CLOEXEC;
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    error = SystemReason("cannot open");
    return std::nullopt;
  }
  return fd;
}

bool LockedFile::IsRegularFile() const {
  struct stat status {};
  return ::fstat(Fd(handle_), &status) == 0 && S_ISREG(status.st_mode);
}

LockedFile::LockAttempt LockedFile::TryLock(FileLockMode mode, std::string& error) {
  const int operation = (mode == FileLockMode::ExclusiveAppend ? LOCK_EX : LOCK_SH) | LOCK_NB;
  for (;;) {
    if (::flock(Fd(handle_), operation) == 0) return LockAttempt::Granted;
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return LockAttempt::Busy;
    error = SystemReason("cannot lock");
    return LockAttempt::Failed;
  }
}

void LockedFile::Close() noexcept {
  // Closing the last descriptor of the open file releases its flock.
  if (handle_ != kNoHandle) ::close(Fd(handle_));
  handle_ = kNoHandle;
}

std::optional<std::uint64_t> LockedFile::Size(std::string& error) const {
  struct stat status {};
  if (::fstat(Fd(handle_), &status) != 0) {
    error = SystemReason("cannot read the file size");
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(status.st_size);
}

std::optional<std::size_t> LockedFile::ReadSome(std::uint64_t offset, std::span<char> into,
                                                std::string& error) const {
  for (;;) {
    const ssize_t got = ::pread(Fd(handle_), into.data(), into.size(), static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = SystemReason("cannot read");
      return std::nullopt;
    }
    return static_cast<std::size_t>(got);
  }
}

std::optional<std::size_t> LockedFile::ReadNext(std::span<char> into, std::string& error) const {
  for (;;) {
    const ssize_t got = ::read(Fd(handle_), into.data(), into.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = SystemReason("cannot read");
      return std::nullopt;
    }
    return static_cast<std::size_t>(got);
  }
}

std::optional<std::size_t> LockedFile::AppendSome(std::string_view bytes, std::string& error) {
  for (;;) {
    const ssize_t put = ::write(Fd(handle_), bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      error = SystemReason("cannot write");
      return std::nullopt;
    }
    return static_cast<std::size_t>(put);
  }
}

bool LockedFile::Flush(std::string& error) {
  if (::fsync(Fd(handle_)) != 0) {
    error = SystemReason("cannot flush to the disk");
    return false;
  }
  return true;
}

}  // namespace tessaline::platform
