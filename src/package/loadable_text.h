// A text resource or file read line by line into a virtual ParseLine.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessaline {

// Longest line handed to ParseLine, in characters; longer lines are cut there.
inline constexpr std::size_t kMaxLineLength = 1023;

class LoadableText {
 public:
  virtual ~LoadableText() = default;

  // Called with each non-empty line (without its line end); false stops the load.
  virtual bool ParseLine(std::string_view line) = 0;
  // Called before anything is read; false aborts the load.
  virtual bool Reset() { return true; }
  virtual bool LoadFromFile(const std::string& path);
  virtual bool LoadFromResource(std::string_view name, std::string_view type);

 protected:
  // The line rules shared by both loads: runs of CR/LF end a line; a last line without a line
  // end is not passed on; a leading line end hands one empty line to ParseLine.
  bool LoadFromBytes(std::span<const std::uint8_t> bytes);
};

}  // namespace tessaline
