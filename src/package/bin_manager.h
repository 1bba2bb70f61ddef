// The flash data image: opaque bytes handed out as addressed chunks from FlashDataBase.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// Address of image byte 0 in the unit's flash data space.
inline constexpr std::uint32_t kFlashDataBase = 0x40000;
// NextChunk returns a 16-bit count, so no chunk is longer than this.
inline constexpr std::uint32_t kMaxChunkBytes = 0xFFFF;

inline constexpr std::string_view kBinResourceType = "BIN";

class CBinManager {
 public:
  explicit CBinManager(std::uint32_t flashDataBase = kFlashDataBase)
      : cursor_(flashDataBase), FlashDataBase(flashDataBase) {}
  CBinManager(const CBinManager&) = delete;
  CBinManager& operator=(const CBinManager&) = delete;

  // Forgets the image (a file-backed image frees its bytes, a resource-backed one is left alone)
  // and rewinds, so a new image starts at FlashDataBase.
  void ReleaseImage();
  // Every load refuses an image with no bytes like a missing one: it has no chunks to write, yet
  // writing it would erase the unit's flash data.
  bool LoadFromFile(const std::string& path);
  // Uses the "BIN" resource `name` in place, without a copy.
  bool LoadFromResource(std::string_view name);
  // Borrows `bytes`, which must outlive the image (the package's own copy).
  bool LoadFromMemory(std::span<const std::uint8_t> bytes);

  std::uint32_t GetImageSize() const { return static_cast<std::uint32_t>(image_.size()); }
  std::span<const std::uint8_t> Bytes() const { return image_; }
  bool IsResourceBacked() const { return !image_.empty() && owned_.empty(); }
  // Why the last load failed; empty after a good load.
  const std::string& LastError() const { return lastError_; }

  bool RewindChunks();
  // Copies the next chunk (at most `capacity` bytes) to `destination` and its address to
  // `address`; 0 when the image is exhausted (then `address` is not written).
  std::uint16_t NextChunk(std::uint8_t* destination, std::uint32_t capacity,
                          std::uint32_t& address);
  std::uint32_t BytesTaken() const { return cursor_ - FlashDataBase; }

 private:
  // Reads the whole file into `owned_`; false when it cannot be opened or read.
  bool ReadFile(const std::string& path);
  bool FinishLoad(bool loaded, std::string_view what);

  // Resource-backed images point into the program's own memory (never freed); file-backed
  // images own their bytes in `owned_`.
  std::span<const std::uint8_t> image_;
  std::vector<std::uint8_t> owned_;
  std::uint32_t cursor_;
  std::string lastError_;

 public:
  const std::uint32_t FlashDataBase;
};

}  // namespace tessaline
