// A file, or a folder of files, in the temporary directory, removed when the object goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <string_view>

namespace tessaline::test {

class TempFile {
 public:
  explicit TempFile(std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("tessaline-package-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "-" +
             std::to_string(counter++) + ".txt");
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }

  std::string Path() const {
    const std::u8string text = path_.u8string();
    return std::string(text.begin(), text.end());
  }

 private:
  std::filesystem::path path_;
};

// A folder of files by relative path ("HEX/A.hex"); a path ending in '/' is an empty folder.
class TempFolder {
 public:
  explicit TempFolder(const std::map<std::string, std::string>& files)
      : path_(std::filesystem::temp_directory_path() /
              ("tessaline-folder-" + std::to_string(std::random_device{}()))) {
    for (const auto& [relative, bytes] : files) {
      const std::filesystem::path file = path_ / relative;
      std::filesystem::create_directories(file.parent_path());
      if (!relative.ends_with('/')) std::ofstream(file, std::ios::binary) << bytes;
    }
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tessaline::test
