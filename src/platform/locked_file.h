// A file under a lock that other threads and processes honour: shared for readers, exclusive
// for the one writer that appends to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessaline::platform {

enum class FileLockMode {
  SharedRead,       // read only; the file must exist
  ExclusiveAppend,  // read and append; created when missing
};

// Move-only; the destructor releases the lock and closes the file. The lock belongs to this
// object, not to the process, so two objects on one file in one process exclude each other too.
class LockedFile {
 public:
  // Opens the file and waits until the lock is granted. Nothing, with the reason in `error`,
  // when the file cannot be opened or locked.
  static std::optional<LockedFile> Open(const std::string& path, FileLockMode mode,
                                        std::string& error);
  LockedFile(LockedFile&& other) noexcept;
  LockedFile& operator=(LockedFile&& other) noexcept;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  ~LockedFile();

  std::optional<std::uint64_t> Size(std::string& error) const;
  // Fills `into` from `offset`; false when the file is shorter or reading fails.
  bool ReadAt(std::uint64_t offset, std::span<char> into, std::string& error) const;
  // Writes the bytes at the end of the file in one write and waits until they are on the disk.
  bool AppendDurably(std::string_view bytes, std::string& error);

 private:
  explicit LockedFile(std::intptr_t handle) : handle_(handle) {}
  // The system's part, one of each per platform; the loops around them are shared.
  void Close() noexcept;
  // Bytes read from `offset` into `into` (0 at the end of the file); nothing on failure.
  std::optional<std::size_t> ReadSome(std::uint64_t offset, std::span<char> into,
                                      std::string& error) const;
  // Bytes appended in one write (at least one); nothing on failure.
  std::optional<std::size_t> AppendSome(std::string_view bytes, std::string& error);
  bool Flush(std::string& error);

  std::intptr_t handle_;  // a file descriptor or a HANDLE; kNoHandle once moved from
  static constexpr std::intptr_t kNoHandle = -1;
};

}  // namespace tessaline::platform
