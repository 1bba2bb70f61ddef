// LockedFile's ownership and its read and append loops, over each platform's system calls.
#include "platform/locked_file.h"

namespace tessaline::platform {

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
