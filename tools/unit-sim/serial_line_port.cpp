// The unit's RS232 line as a pseudo-terminal.
#include "serial_line_port.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "link/packet_codec.h"
#include "text_protocol.h"

namespace tessaline::sim {
namespace {

constexpr std::size_t kReadChunk = 4096;
constexpr int kBitsPerByte = 10;  // 8N1: start, 8 data, stop
constexpr int kHangUpRetryMs = 10;
constexpr int kWriteWaitMs = 100;
// Nobody reads the line (the updater closed the port): what the unit sends then is lost.
constexpr int kStalledWriteMs = 1000;
// Sleeps of this thread end this close to their time (nanoseconds), so that a paced byte leaves
// within microseconds of the moment the line would have carried it, not 50 us later.
constexpr unsigned long kPacingTimerSlackNs = 1000;

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

SerialLinePort::~SerialLinePort() {
  if (linked_) ::unlink(core_.Config().serialLink.c_str());
}

bool SerialLinePort::Open(std::string* error) {
  auto pty = OpenPseudoTerminal(error);
  if (!pty) return false;
  pty_ = std::move(*pty);
  const std::string& link = core_.Config().serialLink;
  if (!link.empty()) {
    struct stat existing {};
    // Replace a stale link from an earlier run, never a real file.
    if (::lstat(link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) ::unlink(link.c_str());
    if (::symlink(pty_.slavePath.c_str(), link.c_str()) != 0) {
      *error = "symlink " + link + ": " + std::strerror(errno);
      return false;
    }
    linked_ = true;
  }
  return true;
}

SerialLinePort::Clock::duration SerialLinePort::ByteTime() const {
  const std::uint32_t rate = core_.Config().lineRate;
  if (rate == 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(std::int64_t{1'000'000'000} * kBitsPerByte / rate));
}

bool SerialLinePort::WriteAll(const std::uint8_t* bytes, std::size_t count) {
  std::size_t done = 0;
  int stalledMs = 0;
  while (done < count) {
    const ssize_t written = ::write(pty_.master.Get(), bytes + done, count - done);
    if (written > 0) {
      done += static_cast<std::size_t>(written);
      stalledMs = 0;
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (stalledMs >= kStalledWriteMs) return false;
    pollfd entries[2] = {{stop_.WaitFd(), POLLIN, 0}, {pty_.master.Get(), POLLOUT, 0}};
    ::poll(entries, 2, kWriteWaitMs);
    stalledMs += kWriteWaitMs;
    if (entries[0].revents != 0) return false;
  }
  return true;
}

void SerialLinePort::WritePaced(const std::uint8_t* bytes, std::size_t count) {
  const Clock::duration byteTime = ByteTime();
  if (byteTime == Clock::duration::zero()) {
    if (WriteAll(bytes, count)) NoteReplyEnd(count, Clock::now());
    return;
  }
  // Each byte leaves only once the line would have carried it whole, never earlier: the host
  // sees a reply's EOT no sooner than a real line delivers it. A late wake-up sends every byte
  // then due at once.
  const Clock::time_point start = std::max(Clock::now(), lineFreeAt_);
  lineFreeAt_ = start + byteTime * static_cast<std::int64_t>(count);
  for (std::size_t done = 0; done < count;) {
    std::this_thread::sleep_until(start + byteTime * static_cast<std::int64_t>(done + 1));
    const auto carried = static_cast<std::size_t>((Clock::now() - start) / byteTime);
    const std::size_t take = std::min(count, std::max(carried, done + 1)) - done;
    if (!WriteAll(bytes + done, take)) return;
    done += take;
  }
  NoteReplyEnd(count, Clock::now());
}

void SerialLinePort::NoteReplyEnd(std::size_t count, Clock::time_point at) {
  const std::lock_guard lock(figuresLock_);
  bytesFromUnit_ += count;
  replyEndedAt_ = at;
}

void SerialLinePort::NoteReceived(std::size_t count, Clock::time_point at) {
  const std::lock_guard lock(figuresLock_);
  bytesToUnit_ += count;
  if (replyEndedAt_) turnarounds_.push_back(at - *replyEndedAt_);
  replyEndedAt_.reset();
}

SerialLineFigures SerialLinePort::Figures() const {
  std::vector<Clock::duration> sorted;
  SerialLineFigures figures;
  {
    const std::lock_guard lock(figuresLock_);
    sorted = turnarounds_;
    figures.bytesToUnit = bytesToUnit_;
    figures.bytesFromUnit = bytesFromUnit_;
  }
  figures.turnarounds = static_cast<std::uint32_t>(sorted.size());
  if (sorted.empty()) return figures;
  std::sort(sorted.begin(), sorted.end());
  Clock::duration total{};
  for (const Clock::duration d : sorted) total += d;
  figures.turnaroundTotalMs = Milliseconds(total);
  figures.turnaroundMedianMs = Milliseconds(sorted[sorted.size() / 2]);
  figures.turnaroundP99Ms = Milliseconds(sorted[(sorted.size() - 1) * 99 / 100]);
  return figures;
}

void SerialLinePort::Run() {
  const UnitConfig& config = core_.Config();
  std::optional<FrameDecoder> frames;
  std::optional<TextCommandSplitter> text;
  std::optional<UnitMode> lastMode;
  Clock::time_point receivedUpTo = Clock::now();
  std::vector<std::uint8_t> buffer(kReadChunk);
  ::prctl(PR_SET_TIMERSLACK, kPacingTimerSlackNs, 0, 0, 0);

  while (!stop_.Raised()) {
    const WaitResult wait = WaitReadable(pty_.master.Get(), stop_, -1);
    if (wait == WaitResult::Stopped) return;
    const Clock::time_point arrived = Clock::now();
    const ssize_t got = ::read(pty_.master.Get(), buffer.data(), buffer.size());
    if (got <= 0) {
      if (got < 0 && errno != EAGAIN && errno != EINTR &&
          !SleepUnlessStopped(stop_, kHangUpRetryMs)) {
        return;
      }
      continue;
    }
    const std::size_t count = static_cast<std::size_t>(got);
    NoteReceived(count, arrived);
    // The unit sees the last byte only once the line has carried all of them.
    receivedUpTo =
        std::max(receivedUpTo, arrived) + ByteTime() * static_cast<std::int64_t>(count);
    std::this_thread::sleep_until(receivedUpTo);

    const UnitMode mode = core_.Mode();
    if (mode != lastMode) {
      frames.emplace();
      text.emplace(TextCommandSplitter::Framing::SerialLine);
      lastMode = mode;
    }
    // A pty has no baud rate of its own: bytes sent at any rate but the unit's are noise to it.
    const std::uint32_t unitRate = mode == UnitMode::Bootloader ? kBootloaderBaud : config.appBaud;
    if (LineRate8N1(pty_.slave.Get()) != unitRate) {
      frames.emplace();
      text.emplace(TextCommandSplitter::Framing::SerialLine);
      continue;
    }

    if (mode == UnitMode::Application) {
      for (const std::string& command : text->Feed(buffer.data(), count)) {
        const auto reply = core_.HandleTextCommand(command);
        if (reply) {
          WritePaced(reinterpret_cast<const std::uint8_t*>(reply->data()), reply->size());
        }
      }
      continue;
    }
    for (std::size_t offset = 0; offset < count;) {
      const std::size_t used = frames->Feed(buffer.data() + offset, count - offset);
      offset += used;
      if (!frames->Complete()) {
        if (used == 0) break;
        continue;
      }
      const Outgoing out = core_.HandleBootloaderPacket(frames->Take());
      if (out.frames.empty()) continue;
      if (!SleepUnlessStopped(stop_, out.waitMs)) return;
      for (const auto& frame : out.frames) WritePaced(frame.data(), frame.size());
    }
  }
}

}  // namespace tessaline::sim
