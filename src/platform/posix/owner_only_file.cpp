// Owner-only files on POSIX: mode 0600 in a 0700 folder, refused when group or others have any
// access, as ssh does for its keys.
#include "platform/owner_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tessaline::platform {

namespace {

std::string Errno(const std::filesystem::path& path, const char* what) {
  return path.string() + ": " + what + ": " + std::strerror(errno);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t wrote = ::write(fd, text.data(), text.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return true;
}

}  // namespace

std::optional<std::filesystem::path> UserKeyFolder(std::string& error) {
  if (const char* folder = std::getenv("TESSALINE_KEY_DIR"); folder != nullptr && *folder) {
    return std::filesystem::path(folder);
  }
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config) {
    return std::filesystem::path(config) / "tessaline";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home) {
    return std::filesystem::path(home) / ".config" / "tessaline";
  }
  error = "neither TESSALINE_KEY_DIR, XDG_CONFIG_HOME nor HOME is set";
  return std::nullopt;
}

std::optional<std::string> ReadOwnerOnlyFile(const std::filesystem::path& path,
                                             std::string& error) {
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.Get() < 0) {
    error = Errno(path, "cannot open");
    return std::nullopt;
  }
  struct stat about {};
  if (::fstat(file.Get(), &about) != 0) {
    error = Errno(path, "cannot examine");
    return std::nullopt;
  }
  if (!S_ISREG(about.st_mode) || about.st_uid != ::geteuid() ||
      (about.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    error = path.string() +
            ": others than its owner may use this private key; it is not used (chmod 600 it, "
            "or remove it to make a new key)";
    return std::nullopt;
  }
  std::string text;
  char block[4096];
  for (;;) {
    const ssize_t got = ::read(file.Get(), block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = Errno(path, "cannot read");
      return std::nullopt;
    }
    if (got == 0) break;
    text.append(block, static_cast<std::size_t>(got));
    if (text.size() > (1u << 20)) {
      error = path.string() + ": too long for a key file";
      return std::nullopt;
    }
  }
  return text;
}

bool CreateOwnerOnlyFile(const std::filesystem::path& path, std::string_view text,
                         std::string& error) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  std::error_code failed;
  if (!std::filesystem::is_directory(folder, failed)) {
    std::filesystem::create_directories(folder, failed);
    if (failed) {
      error = folder.string() + ": cannot create the folder: " + failed.message();
      return false;
    }
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, failed);
  }
  // Written aside and linked into place: the key file is whole or absent, never half-written.
  const std::filesystem::path aside =
      path.string() + ".new-" + std::to_string(static_cast<long>(::getpid()));
  Descriptor file(::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (file.Get() < 0) {
    error = Errno(aside, "cannot create");
    return false;
  }
  const bool written = WriteAll(file.Get(), text) && ::fsync(file.Get()) == 0 && file.Close();
  const bool linked = written && ::link(aside.c_str(), path.c_str()) == 0;
  if (!linked) error = Errno(path, written ? "cannot create" : "cannot write");
  ::unlink(aside.c_str());
  return linked;
}

}  // namespace tessaline::platform
