// Serial ports on POSIX: exclusive termios devices with poll-bounded reads and writes, put back
// as found when closed.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "platform/clock.h"

namespace tessaline::platform {

struct LineStateToRestore {
  std::optional<termios> settings;  // as found, kept by the first Configure
  bool clearExclusive = false;      // exclusive mode was off before this open
  bool clearLowLatency = false;     // the driver's low-latency flag was off before this open
};

void LineStateDeleter::operator()(LineStateToRestore* state) const noexcept {
  std::default_delete<LineStateToRestore>()(state);
}

namespace {

// Bytes still queued when the port closes would leave at the restored rate; flow control may hold
// them for ever, so the wait is bounded.
constexpr std::uint32_t kOutputLeaveLimitMs = 500;

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

std::optional<speed_t> SpeedFor(std::uint32_t baudRate) {
  static constexpr std::pair<std::uint32_t, speed_t> kSpeeds[] = {
      {1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
      {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
      {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& [rate, speed] : kSpeeds) {
    if (rate == baudRate) return speed;
  }
  return std::nullopt;
}

bool IsExclusive(int fd) {
  int exclusive = 0;
  return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

// USB serial drivers map the flag to a 1 ms latency timer; pseudo-terminals and some drivers
// refuse the request, which leaves the port as it was.
bool SetLowLatency(int fd, bool on) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
  const bool isOn = (serial.flags & ASYNC_LOW_LATENCY) != 0;
  if (isOn == on) return false;
  serial.flags = on ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

void LetOutputLeave(int fd) {
  const std::uint32_t start = TickCount();
  int queued = 0;
  while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 &&
         TicksBetween(start, TickCount()) < kOutputLeaveLimitMs) {
    SleepMs(1);
  }
}

void PutBack(int fd, const LineStateToRestore& state) {
  if (state.settings) {
    LetOutputLeave(fd);
    tcsetattr(fd, TCSANOW, &*state.settings);
  }
  if (state.clearLowLatency) SetLowLatency(fd, false);
  if (state.clearExclusive) ioctl(fd, TIOCNXCL);
}

}  // namespace

bool SerialPort::Open(const std::string& device) {
  Close();
  lastError_.clear();
  // Non-blocking so that opening never waits for a carrier and every wait below is bounded.
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastError_ = std::strerror(errno);
    return false;
  }
  // TIOCEXCL keeps other users out (root is exempt); flock also stops a second open by root or
  // by this very process.
  LineStateToRestore found;
  found.clearExclusive = !IsExclusive(fd);
  if (!isatty(fd)) {
    lastError_ = "not a serial device";
  } else if (ioctl(fd, TIOCEXCL) != 0) {
    lastError_ = std::strerror(errno);
  } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    lastError_ = errno == EWOULDBLOCK ? "in use by another program" : std::strerror(errno);
  }
  if (!lastError_.empty()) {
    if (found.clearExclusive) ioctl(fd, TIOCNXCL);
    close(fd);
    return false;
  }
  found.clearLowLatency = SetLowLatency(fd, true);
  handle_ = fd;
  restore_.reset(std::make_unique<LineStateToRestore>(found).release());
  return true;
}

bool SerialPort::Configure(std::uint32_t baudRate) {
  if (!IsOpen()) return false;
  const auto speed = SpeedFor(baudRate);
  if (!speed) {
    lastError_ = "no such rate: " + std::to_string(baudRate) + " baud";
    return false;
  }
  const int fd = Descriptor(handle_);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    lastError_ = std::strerror(errno);
    return false;
  }
  if (restore_ && !restore_->settings) restore_->settings = settings;
  // Raw bytes both ways: no line editing, echo, signals or CR/LF translation. Hardware flow
  // control (CRTSCTS) and input flow control (IXOFF) stay as the driver has them.
  settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                             ICRNL | IXON | INPCK);
  settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
  settings.c_cflag |= static_cast<tcflag_t>(CS8 | CREAD | CLOCAL);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  // TCSANOW: bytes already waiting are kept; TextQuery drains them itself.
  if (cfsetispeed(&settings, *speed) != 0 || cfsetospeed(&settings, *speed) != 0 ||
      tcsetattr(fd, TCSANOW, &settings) != 0) {
    lastError_ = std::strerror(errno);
    return false;
  }
  return true;
}

void SerialPort::Close() noexcept {
  const auto restore = std::move(restore_);
  if (handle_ < 0) return;
  const int fd = Descriptor(std::exchange(handle_, -1));
  if (restore) PutBack(fd, *restore);
  close(fd);
}

bool SerialPort::Write(const std::uint8_t* bytes, std::uint32_t count) {
  if (!IsOpen()) return false;
  const int fd = Descriptor(handle_);
  const std::uint32_t start = TickCount();
  const std::uint32_t limitMs = count + kSerialWriteSlackMs;
  std::uint32_t sent = 0;
  while (sent < count) {
    const ssize_t written = write(fd, bytes + sent, count - sent);
    if (written > 0) {
      sent += static_cast<std::uint32_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const std::uint32_t elapsed = TicksBetween(start, TickCount());
    if (elapsed >= limitMs) return true;
    // Wait until the device takes more; after a signal or an error the next write tells.
    pollfd entry{fd, POLLOUT, 0};
    if (poll(&entry, 1, static_cast<int>(limitMs - elapsed)) == 0) return true;
  }
  return true;
}

SerialReadResult SerialPort::Read(std::uint8_t* buffer, std::uint32_t capacity,
                                  std::uint32_t maxWaitMs) {
  if (!IsOpen() || capacity == 0) return {};
  const int fd = Descriptor(handle_);
  const std::uint32_t start = TickCount();
  for (;;) {
    // Read before polling: in a stop-and-wait exchange the bytes are often there already. With
    // VMIN and VTIME 0 an empty line reads 0; an error other than "nothing yet" means the device
    // is gone (EIO when a USB adapter is pulled or a pseudo-terminal's master closes).
    const ssize_t got = read(fd, buffer, capacity);
    if (got > 0) return {static_cast<std::uint32_t>(got), false};
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return {0, true};
    const std::uint32_t elapsed = TicksBetween(start, TickCount());
    if (elapsed >= maxWaitMs) return {};
    pollfd entry{fd, POLLIN, 0};
    const int ready = poll(&entry, 1, static_cast<int>(maxWaitMs - elapsed));
    if (ready == 0) return {};
    if (ready < 0) {
      if (errno == EINTR) continue;
      return {0, true};
    }
    // Nothing was left to read, so a hang-up now is final (a hung-up tty also reports POLLIN, and
    // its reads return 0 at once: waiting on it would spin).
    if ((entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return {0, true};
  }
}

std::vector<std::string> SerialPortCandidates() {
  std::vector<std::string> names;
  if (const char* listed = std::getenv("TESSALINE_SERIAL_PORTS"); listed != nullptr) {
    const std::string_view text(listed);
    std::size_t from = 0;
    while (from <= text.size()) {
      const std::size_t colon = std::min(text.find(':', from), text.size());
      if (colon > from) names.emplace_back(text.substr(from, colon - from));
      from = colon + 1;
    }
    return names;
  }
  // Each device with its family and number, so that "/dev/ttyS2" sorts before "/dev/ttyS10".
  std::vector<std::tuple<std::string_view, unsigned long, std::string>> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    for (const std::string_view family : {"ttyS", "ttyUSB", "ttyACM"}) {
      if (name.size() > family.size() && name.starts_with(family) &&
          name.find_first_not_of("0123456789", family.size()) == std::string::npos) {
        found.emplace_back(family, std::strtoul(name.c_str() + family.size(), nullptr, 10),
                           entry.path().string());
      }
    }
  }
  std::sort(found.begin(), found.end());
  for (auto& [family, number, path] : found) names.push_back(std::move(path));
  return names;
}

}  // namespace tessaline::platform
