// A text resource or file read line by line into a virtual ParseLine.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessaline {

// Longest line handed to ParseLine, in bytes; the rest of a longer line is dropped.
inline constexpr std::size_t kMaxLineLength = 1023;

// At most `limit` bytes of `text`, never splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t limit);

class LoadableText {
 public:
  LoadableText() = default;
  LoadableText(const LoadableText&) = delete;
  LoadableText& operator=(const LoadableText&) = delete;
  virtual ~LoadableText() = default;

  // Called with each line (UTF-8, without its line end); false stops the load.
  virtual bool ParseLine(std::string_view line) = 0;
  // Called before anything is read; false aborts the load.
  virtual bool Reset() { return true; }
  // Both loads follow the same line rules (see LoadFromBytes); false when the text cannot be
  // found or read, or when Reset or a ParseLine said no.
  virtual bool LoadFromFile(const std::string& path);
  virtual bool LoadFromResource(std::string_view name, std::string_view type);

 protected:
  // Runs of CR/LF end a line, so blank lines never reach ParseLine; a text that begins with a
  // line end hands one empty line on; a last line without a line end is passed on too.
  bool LoadFromBytes(std::span<const std::uint8_t> bytes);
  // 1-based line number in the text of the line being parsed (CR LF, LF and a lone CR each
  // end one line), for error messages.
  std::uint32_t CurrentLineNumber() const { return currentLine_; }
  // True when the line being parsed was longer than kMaxLineLength and has been cut.
  bool CurrentLineWasCut() const { return currentLineCut_; }

 private:
  std::uint32_t currentLine_ = 0;
  bool currentLineCut_ = false;
};

}  // namespace tessaline
