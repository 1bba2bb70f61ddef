// LockedFile's ownership, its wait for the lock and its read and append loops, over each
// platform's system calls.
#include "platform/locked_file.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

namespace tessaline::platform {

namespace {

// Another holder of the lock is asked again this often; a receipt's append holds it for
// milliseconds.
constexpr std::chrono::milliseconds kLockRetry{20};
constexpr std::size_t kReadChunkBytes = 64 * 1024;

// The lines of threads waiting for each file, first in line holding it.
class TurnLines {
 public:
  static TurnLines& Instance() {
    static TurnLines lines;
    return lines;
  }

  std::optional<std::uint64_t> Wait(const std::string& key, const LockWait& wait) {
    std::unique_lock guard(mutex_);
    const std::uint64_t ticket = ++lastTicket_;
    lines_[key].push_back(ticket);
    std::stop_token stop = wait.stop;
    if (changed_.wait_until(guard, stop, wait.deadline,
                            [&] { return lines_[key].front() == ticket; })) {
      return ticket;
    }
    LeaveLocked(key, ticket);
    return std::nullopt;
  }

  void Leave(const std::string& key, std::uint64_t ticket) {
    std::lock_guard guard(mutex_);
    LeaveLocked(key, ticket);
  }

 private:
  void LeaveLocked(const std::string& key, std::uint64_t ticket) {
    auto& line = lines_[key];
    line.erase(std::remove(line.begin(), line.end(), ticket), line.end());
    if (line.empty()) lines_.erase(key);
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::map<std::string, std::deque<std::uint64_t>> lines_;
  std::uint64_t lastTicket_ = 0;
};

// One spelling per file, so two spellings of one file share a line.
std::string TurnKey(const std::string& path) {
  std::error_code failed;
  const auto canonical = std::filesystem::weakly_canonical(path, failed);
  return failed ? path : canonical.string();
}

// False when the stop came or the deadline passed before the pause ended.
bool PauseBeforeRetry(const LockWait& wait) {
  std::mutex mutex;
  std::condition_variable_any never;
  std::unique_lock guard(mutex);
  std::stop_token stop = wait.stop;
  const auto until = std::min(wait.deadline, std::chrono::steady_clock::now() + kLockRetry);
  never.wait_until(guard, stop, until, [] { return false; });
  return !stop.stop_requested() && std::chrono::steady_clock::now() < wait.deadline;
}

std::string WaitEndedReason(const LockWait& wait) {
  return wait.stop.stop_requested() ? "interrupted while waiting for the file's lock"
                                    : "another program held the file's lock too long";
}

}  // namespace

LockedFile::Turn::Turn(Turn&& other) noexcept
    : key_(std::move(other.key_)), ticket_(std::exchange(other.ticket_, 0)) {}

LockedFile::Turn& LockedFile::Turn::operator=(Turn&& other) noexcept {
  if (this != &other) {
    Leave();
    key_ = std::move(other.key_);
    ticket_ = std::exchange(other.ticket_, 0);
  }
  return *this;
}

LockedFile::Turn::~Turn() { Leave(); }

void LockedFile::Turn::Leave() noexcept {
  if (ticket_ != 0) TurnLines::Instance().Leave(key_, ticket_);
  ticket_ = 0;
}

std::optional<LockedFile::Turn> LockedFile::Turn::Wait(const std::string& path,
                                                       const LockWait& wait) {
  std::string key = TurnKey(path);
  const auto ticket = TurnLines::Instance().Wait(key, wait);
  if (!ticket) return std::nullopt;
  return Turn(std::move(key), *ticket);
}

std::optional<LockedFile> LockedFile::Open(const std::string& path, FileLockMode mode,
                                           const LockWait& wait, std::string& error) {
  auto turn = Turn::Wait(path, wait);
  if (!turn) {
    error = WaitEndedReason(wait);
    return std::nullopt;
  }
  const auto handle = OpenHandle(path, mode, error);
  if (!handle) return std::nullopt;
  LockedFile file(*handle);
  file.turn_ = std::move(*turn);
  if (!file.IsRegularFile()) return file;
  for (;;) {
    switch (file.TryLock(mode, error)) {
      case LockAttempt::Granted:
        return file;
      case LockAttempt::Failed:
        return std::nullopt;
      case LockAttempt::Busy:
        break;
    }
    if (!PauseBeforeRetry(wait)) {
      error = WaitEndedReason(wait);
      return std::nullopt;
    }
  }
}

LockedFile::LockedFile(LockedFile&& other) noexcept
    : turn_(std::move(other.turn_)), handle_(other.handle_) {
  other.handle_ = kNoHandle;
}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kNoHandle;
    turn_ = std::move(other.turn_);
  }
  return *this;
}

LockedFile::~LockedFile() { Close(); }

bool LockedFile::ReadAt(std::uint64_t offset, std::span<char> into, std::string& error) const {
  while (!into.empty()) {
    const auto got = ReadSome(offset, into, error);
    if (!got) return false;
    if (*got == 0) {
      error = "the file ended early";
      return false;
    }
    into = into.subspan(*got);
    offset += *got;
  }
  return true;
}

std::optional<std::string> LockedFile::ReadToEnd(std::size_t limitBytes,
                                                 std::string& error) const {
  std::string text;
  for (;;) {
    const std::size_t had = text.size();
    text.resize(had + kReadChunkBytes);
    const auto got = ReadNext(std::span(text).subspan(had), error);
    if (!got) return std::nullopt;
    text.resize(had + *got);
    if (*got == 0) return text;
    if (text.size() > limitBytes) {
      error = "stopped reading after " + std::to_string(limitBytes >> 20) +
              " MiB, more than this program reads from one file";
      return std::nullopt;
    }
  }
}

bool LockedFile::AppendDurably(std::string_view bytes, std::string& error) {
  // A regular file takes the whole buffer in one write unless the disk is full; a short write
  // is finished rather than left as half a line.
  while (!bytes.empty()) {
    const auto put = AppendSome(bytes, error);
    if (!put) return false;
    bytes.remove_prefix(*put);
  }
  return Flush(error);
}

}  // namespace tessaline::platform
