// Serial port diagnosis on Linux: open errors by errno, lock holders found through /proc/*/fd.
#include "platform/serial_port_probe.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tessaline::platform {

namespace {

std::string CommandName(const std::filesystem::path& processDirectory) {
  std::ifstream comm(processDirectory / "comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "?" : name;
}

// Best effort: only the processes whose descriptors this user may read are seen.
std::vector<std::string> HoldersOf(const std::string& device) {
  std::vector<std::string> holders;
  std::error_code error;
  const auto target = std::filesystem::canonical(device, error);
  if (error) return holders;
  const std::string self = std::to_string(getpid());
  for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pid = process.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    std::error_code fdError;
    for (const auto& fd : std::filesystem::directory_iterator(process.path() / "fd", fdError)) {
      std::error_code linkError;
      const auto opened = std::filesystem::read_symlink(fd.path(), linkError);
      if (!linkError && opened == target) {
        holders.push_back(CommandName(process.path()) + " (pid " + pid + ")");
        break;
      }
    }
  }
  return holders;
}

std::string GroupOf(const std::string& device) {
  struct stat status {};
  if (stat(device.c_str(), &status) != 0) return {};
  const group* entry = getgrgid(status.st_gid);
  return entry != nullptr ? entry->gr_name : std::to_string(status.st_gid);
}

}  // namespace

void ExplainOpenFailure(SerialPortProbe& probe) {
  const std::string& device = probe.device;
  // Open failed: ask the system why, step by step as SerialPort::Open does.
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int cause = errno;
    probe.detail = std::strerror(cause);
    if (cause == EBUSY) {
      probe.state = SerialPortState::InUse;
      probe.holders = HoldersOf(device);
    } else if (cause == EACCES || cause == EPERM) {
      probe.state = SerialPortState::Denied;
      probe.group = GroupOf(device);
    } else if (cause == ENOENT || cause == ENXIO || cause == ENODEV || cause == EIO) {
      probe.state = SerialPortState::Absent;
    }
    return;
  }
  const bool terminal = isatty(fd) != 0;
  const bool locked = terminal && flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  if (!terminal) {
    probe.detail = "not a terminal device";
    return;
  }
  // When not locked, it opened now but not before: it was freed in between, or exclusive mode
  // is refused.
  probe.state = SerialPortState::InUse;
  probe.detail = locked ? "locked by another program" : "held in exclusive mode";
  probe.holders = HoldersOf(device);
}

}  // namespace tessaline::platform
