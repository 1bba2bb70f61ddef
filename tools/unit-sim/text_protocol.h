// The application's text command protocol: splitting the byte stream into commands and answering.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulated_unit.h"

namespace tessaline::sim {

// Collects commands from a byte stream. On the serial line a command runs from '<' to '>';
// on the Parser Port a command is a whole line ended by CR LF.
class TextCommandSplitter {
 public:
  enum class Framing { SerialLine, ParserPortLines };
  explicit TextCommandSplitter(Framing framing) : framing_(framing) {}

  std::vector<std::string> Feed(const std::uint8_t* bytes, std::size_t count);

 private:
  static constexpr std::size_t kMaxCommandBytes = 256;  // longer input is garbage, dropped
  Framing framing_;
  std::string pending_;
  bool inCommand_ = false;
};

// The application's side of "<SY,BQ/>", "<SY,BU..../>", "<SY,BE/>" and "<SY,BR/>".
class TextResponder {
 public:
  explicit TextResponder(const UnitConfig& config);

  struct Answer {
    std::optional<std::string> reply;  // nothing for text the application does not know
    bool entersBootloader = false;
  };
  Answer Handle(const std::string& command);
  // The application starts afresh (after the bootloader left): PIN forgotten.
  void Restart();

 private:
  const UnitConfig& config_;
  bool pinAccepted_ = false;
  bool enabled_ = false;
};

}  // namespace tessaline::sim
