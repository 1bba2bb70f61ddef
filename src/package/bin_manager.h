// The flash data image: opaque bytes handed out as addressed chunks from FlashDataBase.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

inline constexpr std::uint32_t kFlashDataBase = 0x40000;

class BinFile {
 public:
  virtual ~BinFile() { BinFile::ReleaseImage(); }
  virtual void ReleaseImage();
  virtual bool LoadFromFile(const std::string& path);
  virtual bool LoadFromResource(std::string_view name);

  std::uint32_t GetImageSize() const { return static_cast<std::uint32_t>(image_.size()); }
  std::span<const std::uint8_t> Bytes() const { return image_; }

 protected:
  // Resource-backed images point into the program's own memory (never freed); file-backed
  // images own their bytes in `owned_`.
  std::span<const std::uint8_t> image_;
  std::vector<std::uint8_t> owned_;
};

class CBinManager : public BinFile {
 public:
  explicit CBinManager(std::uint32_t flashDataBase = kFlashDataBase)
      : cursor_(flashDataBase), FlashDataBase(flashDataBase) {}

  void ReleaseImage() override;
  bool LoadFromFile(const std::string& path) override;
  bool LoadFromResource(std::string_view name) override;

  bool RewindChunks();
  // Copies the next chunk (at most `capacity` bytes) to `destination` and its address to
  // `address`; 0 when the image is exhausted (then `address` is not written).
  std::uint16_t NextChunk(std::uint8_t* destination, std::uint32_t capacity, std::uint32_t& address);
  std::uint32_t BytesTaken() const { return cursor_ - FlashDataBase; }

 private:
  std::uint32_t cursor_;

 public:
  const std::uint32_t FlashDataBase;
};

}  // namespace tessaline
