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

std::optional<LockedFile> LockedFile::Open(const std::string& path, FileLockMode mode,
                                           std::string& error) {
  const bool append = mode == FileLockMode::ExclusiveAppend;
  const int flags = append ? O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    error = SystemReason("cannot open " + path);
    return std::nullopt;
  }
  LockedFile file(fd);
  int locked = -1;
  do {
    locked = ::flock(fd, append ? LOCK_EX : LOCK_SH);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    error = SystemReason("cannot lock " + path);
    return std::nullopt;
  }
  return file;
}

LockedFile::LockedFile(LockedFile&& other) noexcept : handle_(other.handle_) {
  other.handle_ = kNoHandle;
}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

LockedFile::~LockedFile() { Close(); }

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

bool LockedFile::ReadAt(std::uint64_t offset, std::span<char> into, std::string& error) const {
  while (!into.empty()) {
    const ssize_t got = ::pread(Fd(handle_), into.data(), into.size(), static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = SystemReason("cannot read");
      return false;
    }
    if (got == 0) {
      error = "the file ended early";
      return false;
    }
    into = into.subspan(static_cast<std::size_t>(got));
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

bool LockedFile::AppendDurably(std::string_view bytes, std::string& error) {
  // A regular file takes the whole buffer in one write unless the disk is full; a short write
  // is finished rather than left as half a line.
  while (!bytes.empty()) {
    const ssize_t put = ::write(Fd(handle_), bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      error = SystemReason("cannot write");
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  if (::fsync(Fd(handle_)) != 0) {
    error = SystemReason("cannot flush to the disk");
    return false;
  }
  return true;
}

}  // namespace tessaline::platform
