// Loading the flash data image and cutting it into addressed chunks.
#include "package/bin_manager.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/module_resources.h"

namespace tessaline {

void CBinManager::ReleaseImage() {
  image_ = {};
  std::vector<std::uint8_t>().swap(owned_);
  cursor_ = FlashDataBase;
}

bool CBinManager::ReadFile(const std::string& path) {
  std::ifstream file(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary | std::ios::ate);
  if (!file) return false;
  const std::streamoff size = file.tellg();
  if (size < 0) return false;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  file.seekg(0);
  if (!bytes.empty() &&
      !file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    return false;
  }
  owned_ = std::move(bytes);
  image_ = owned_;
  return true;
}

bool CBinManager::LoadFromMemory(std::span<const std::uint8_t> bytes) {
  ReleaseImage();
  image_ = bytes;
  return FinishLoad(true, "the image");
}

bool CBinManager::FinishLoad(bool loaded, std::string_view what) {
  lastError_.clear();
  if (!loaded) {
    lastError_ = std::string(what) + " could not be read";
  } else if (GetImageSize() == 0) {
    ReleaseImage();
    lastError_ = std::string(what) + " is empty";
    loaded = false;
  }
  return loaded;
}

bool CBinManager::LoadFromFile(const std::string& path) {
  ReleaseImage();
  return FinishLoad(ReadFile(path), path);
}

bool CBinManager::LoadFromResource(std::string_view name) {
  ReleaseImage();
  const auto bytes = platform::FindModuleResource(kBinResourceType, name);
  if (bytes) image_ = *bytes;
  return FinishLoad(bytes.has_value(), name);
}

bool CBinManager::RewindChunks() {
  cursor_ = FlashDataBase;
  return true;
}

std::uint16_t CBinManager::NextChunk(std::uint8_t* destination, std::uint32_t capacity,
                                     std::uint32_t& address) {
  const std::uint32_t offset = cursor_ - FlashDataBase;
  const std::uint32_t left = GetImageSize() - offset;
  const std::uint32_t count = std::min({left, capacity, kMaxChunkBytes});
  if (count == 0) return 0;
  address = cursor_;
  std::memcpy(destination, image_.data() + offset, count);
  cursor_ += count;
  return static_cast<std::uint16_t>(count);
}

}  // namespace tessaline
