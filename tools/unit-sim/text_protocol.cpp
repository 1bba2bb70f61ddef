// The application's text command protocol.
#include "text_protocol.h"

namespace tessaline::sim {
namespace {

constexpr char kPinPrefix[] = "<SY,BU";
constexpr char kCommandEnd[] = "/>";

}  // namespace

std::vector<std::string> TextCommandSplitter::Feed(const std::uint8_t* bytes, std::size_t count) {
  std::vector<std::string> commands;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (framing_ == Framing::ParserPortLines) {
      pending_.push_back(c);
      if (pending_.size() >= 2 && pending_.compare(pending_.size() - 2, 2, "\r\n") == 0) {
        commands.push_back(pending_.substr(0, pending_.size() - 2));
        pending_.clear();
      } else if (pending_.size() > kMaxCommandBytes) {
        pending_.clear();
      }
      continue;
    }
    if (!inCommand_) {
      if (c == '<') {
        inCommand_ = true;
        pending_.assign(1, c);
      }
      continue;
    }
    pending_.push_back(c);
    if (c == '>') {
      commands.push_back(pending_);
      pending_.clear();
      inCommand_ = false;
    } else if (pending_.size() > kMaxCommandBytes) {
      pending_.clear();
      inCommand_ = false;
    }
  }
  return commands;
}

TextResponder::TextResponder(const UnitConfig& config) : config_(config) { Restart(); }

void TextResponder::Restart() {
  pinAccepted_ = false;
  enabled_ = config_.bootloadEnabled;
}

TextResponder::Answer TextResponder::Handle(const std::string& command) {
  Answer answer;
  if (command == "<SY,BQ/>") {
    const char letter = config_.bootloadStateLetter.value_or(enabled_ ? 'e' : 'd');
    answer.reply = std::string("<sy,bq = u") + letter + "/>";
  } else if (command.rfind(kPinPrefix, 0) == 0 && command.size() > sizeof kPinPrefix &&
             command.compare(command.size() - 2, 2, kCommandEnd) == 0) {
    const std::string pin =
        command.substr(sizeof kPinPrefix - 1, command.size() - (sizeof kPinPrefix - 1) - 2);
    pinAccepted_ = pin == config_.pin;
    answer.reply = pinAccepted_ ? "<sy,bu = ue/>" : "<sy,bu = er/>";
  } else if (command == "<SY,BE/>") {
    if (pinAccepted_) enabled_ = true;
    answer.reply = pinAccepted_ ? "<sy,be = ue/>" : "<sy,be = er/>";
  } else if (command == "<SY,BR/>") {
    answer.reply = enabled_ ? "<sy,br/>" : "<sy,br = er/>";
    answer.entersBootloader = enabled_;
  }
  return answer;
}

}  // namespace tessaline::sim
