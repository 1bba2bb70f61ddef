// tessaline-package-gen: writes the deterministic sample firmware package into a directory.
//
// Usage: tessaline-package-gen <text sources> <package directory>
// The texts (properties, notes) are copied with CR LF line ends; the images are generated.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

#include "intel_hex_writer.h"
#include "sample_package.h"

namespace {

namespace fs = std::filesystem;
using tessaline::packagegen::kSampleBuildNotesBytes;
using tessaline::packagegen::kSampleFlashDataBytes;
using tessaline::packagegen::kSampleHexBytes;

// Relative paths of the committed texts, the same below the sources and the package directory.
constexpr std::string_view kTexts[] = {"PROPERTIES/UNIT.properties",
                                       "PROPERTIES/UPDATER.properties", "NOTES/BUILD_NOTES.txt"};
constexpr std::string_view kBuildNotes = "NOTES/BUILD_NOTES.txt";
constexpr std::string_view kApplicationFile = "HEX/APPLICATION_STM32_ADAU1452.hex";
constexpr std::string_view kFlashDataFile = "BIN/FLASH_STM32_ADAU1452.bin";

bool ReadFile(const fs::path& path, std::string& out) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  out.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

bool WriteFile(const fs::path& path, std::string_view bytes) {
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) std::cerr << "package-gen: cannot write " << path.string() << "\n";
  return static_cast<bool>(file);
}

// Every line ends in CR LF, whatever the committed file uses.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\r') continue;
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

bool Expect(std::string_view what, std::size_t actual, std::size_t expected) {
  if (actual == expected) return true;
  std::cerr << "package-gen: " << what << " has " << actual << ", expected " << expected << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: tessaline-package-gen <text sources> <package directory>\n";
    return 2;
  }
  const fs::path sources = argv[1];
  const fs::path package = argv[2];

  for (const std::string_view text : kTexts) {
    std::string content;
    if (!ReadFile(sources / text, content)) {
      std::cerr << "package-gen: cannot read " << (sources / text).string() << "\n";
      return 1;
    }
    const std::string converted = WithCrLf(content);
    if (text == kBuildNotes && !Expect(text, converted.size(), kSampleBuildNotesBytes)) return 1;
    if (!WriteFile(package / text, converted)) return 1;
  }

  const std::string hex = tessaline::packagegen::SampleApplicationHex();
  if (!Expect(kApplicationFile, hex.size(), kSampleHexBytes)) return 1;
  const auto lines = static_cast<std::size_t>(std::count(hex.begin(), hex.end(), '\n'));
  if (!Expect("records", lines, tessaline::packagegen::kSampleHexRecords)) return 1;
  if (!WriteFile(package / kApplicationFile, hex)) return 1;

  const auto flashData = tessaline::packagegen::SampleFlashData();
  if (!Expect(kFlashDataFile, flashData.size(), kSampleFlashDataBytes)) return 1;
  const std::string_view flashBytes(reinterpret_cast<const char*>(flashData.data()),
                                    flashData.size());
  if (!WriteFile(package / kFlashDataFile, flashBytes)) return 1;
  return 0;
}
