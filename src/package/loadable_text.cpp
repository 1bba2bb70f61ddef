// Splitting a text into lines for LoadableText, from a resource or from a file.
#include "package/loadable_text.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/module_resources.h"

namespace tessaline {
namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

bool IsLineEnd(std::uint8_t byte) { return byte == kCr || byte == kLf; }

}  // namespace

std::string_view CutUtf8(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t length = limit;
  while (length > 0 && (static_cast<std::uint8_t>(text[length]) & 0xC0) == 0x80) --length;
  return text.substr(0, length);
}

bool LoadableText::LoadFromBytes(std::span<const std::uint8_t> bytes) {
  const char* text = reinterpret_cast<const char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::uint32_t line = 1;
  std::size_t start = 0;
  std::size_t pos = 0;
  while (pos < size) {
    if (!IsLineEnd(bytes[pos])) {
      ++pos;
      continue;
    }
    const std::string_view whole(text + start, pos - start);
    const std::uint32_t lineNumber = line;
    // Swallow the whole run of line ends, counting the lines it closes.
    while (pos < size && IsLineEnd(bytes[pos])) {
      if (bytes[pos] == kCr && pos + 1 < size && bytes[pos + 1] == kLf) ++pos;
      ++pos;
      ++line;
    }
    start = pos;
    currentLine_ = lineNumber;
    currentLineCut_ = whole.size() > kMaxLineLength;
    if (!ParseLine(CutUtf8(whole, kMaxLineLength))) return false;
  }
  // A text saved without a final line end still ends in a whole line.
  if (start < size) {
    const std::string_view last(text + start, size - start);
    currentLine_ = line;
    currentLineCut_ = last.size() > kMaxLineLength;
    if (!ParseLine(CutUtf8(last, kMaxLineLength))) return false;
  }
  return true;
}

bool LoadableText::LoadFromResource(std::string_view name, std::string_view type) {
  if (!Reset()) return false;
  const auto bytes = platform::FindModuleResource(type, name);
  if (!bytes) return false;
  return LoadFromBytes(*bytes);
}

bool LoadableText::LoadFromFile(const std::string& path) {
  if (!Reset()) return false;
  std::ifstream file(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary);
  if (!file) return false;
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                        std::istreambuf_iterator<char>()};
  if (file.bad()) return false;
  return LoadFromBytes(bytes);
}

}  // namespace tessaline
