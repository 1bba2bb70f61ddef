// A file under a lock that other threads and processes honour: shared for readers, exclusive
// for the one writer that appends to it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

namespace tessaline::platform {

enum class FileLockMode {
  SharedRead,       // read only; the file must exist
  ExclusiveAppend,  // read and append; created when missing
};

// How long an Open may wait for its lock: until `deadline`, or until `stop` is requested.
struct LockWait {
  std::stop_token stop;
  std::chrono::steady_clock::time_point deadline;
};

// Move-only; the destructor releases the lock and closes the file. The lock belongs to this
// object, not to the process, so two objects on one file in one process exclude each other too;
// threads of this process wait for such a file in the order they asked for it.
class LockedFile {
 public:
  // Opens the file and waits until the lock is granted or the wait ends. Nothing, with the reason
  // in `error` (the file is not named), when it cannot be opened or locked in time. Pipes and
  // devices, which nothing appends to under a lock, are opened without one.
  static std::optional<LockedFile> Open(const std::string& path, FileLockMode mode,
                                        const LockWait& wait, std::string& error);
  LockedFile(LockedFile&& other) noexcept;
  LockedFile& operator=(LockedFile&& other) noexcept;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  ~LockedFile();

  std::optional<std::uint64_t> Size(std::string& error) const;
  // Fills `into` from `offset`; false when the file is shorter or reading fails.
  bool ReadAt(std::uint64_t offset, std::span<char> into, std::string& error) const;
  // Everything from the start of a freshly opened file (or the rest of a pipe) to its end, which
  // pipes and devices do not announce in a size; nothing once it passes `limitBytes`.
  std::optional<std::string> ReadToEnd(std::size_t limitBytes, std::string& error) const;
  // Writes the bytes at the end of the file in one write and waits until they are on the disk.
  bool AppendDurably(std::string_view bytes, std::string& error);

 private:
  enum class LockAttempt { Granted, Busy, Failed };

  // This object's place in the line of this process's threads that lock the same file.
  class Turn {
   public:
    Turn() = default;
    Turn(std::string key, std::uint64_t ticket) : key_(std::move(key)), ticket_(ticket) {}
    Turn(Turn&& other) noexcept;
    Turn& operator=(Turn&& other) noexcept;
    ~Turn();
    // Waits to be first in line for `path`; nothing at the deadline or on the stop.
    static std::optional<Turn> Wait(const std::string& path, const LockWait& wait);

   private:
    void Leave() noexcept;
    std::string key_;
    std::uint64_t ticket_ = 0;  // 0: holds no place
  };

  explicit LockedFile(std::intptr_t handle) : handle_(handle) {}
  // The system's part, one of each per platform; the loops around them are shared.
  static std::optional<std::intptr_t> OpenHandle(const std::string& path, FileLockMode mode,
                                                 std::string& error);
  bool IsRegularFile() const;
  LockAttempt TryLock(FileLockMode mode, std::string& error);
  void Close() noexcept;
  // Bytes read from `offset` into `into` (0 at the end of the file); nothing on failure.
  std::optional<std::size_t> ReadSome(std::uint64_t offset, std::span<char> into,
                                      std::string& error) const;
  // Bytes read from where the file stands (0 at its end); nothing on failure.
  std::optional<std::size_t> ReadNext(std::span<char> into, std::string& error) const;
  // Bytes appended in one write (at least one); nothing on failure.
  std::optional<std::size_t> AppendSome(std::string_view bytes, std::string& error);
  bool Flush(std::string& error);

  Turn turn_;             // released after the lock, which Close gives up first
  std::intptr_t handle_;  // a file descriptor or a HANDLE; kNoHandle once moved from
  static constexpr std::intptr_t kNoHandle = -1;
};

}  // namespace tessaline::platform
