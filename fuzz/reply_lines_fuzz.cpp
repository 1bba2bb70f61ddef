// Fuzzes the split of a bootloader identity text into lines and the bootload-line test.
#include <cstdint>
#include <string>

#include "discovery/serial_discovery.h"
#include "fuzz_input.h"

namespace {

using tessaline::fuzz::FuzzInput;
using tessaline::fuzz::Require;

bool Within(std::string_view part, std::string_view whole) {
  return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::size_t identityLength = input.InRange(0, 40);
  // An exact-size copy, so reading one byte past the reply is caught by the sanitizer.
  const auto rest = input.Rest();
  const std::string text(reinterpret_cast<const char*>(rest.data()), rest.size());
  const std::string_view whole(text);

  const auto split = tessaline::SplitReplyLines(whole);
  Require(split.lines[0].has_value(), "line 1 always exists");
  std::size_t expectedStart = 0;
  for (std::size_t i = 0; i < split.lines.size(); ++i) {
    if (!split.lines[i]) {
      for (std::size_t j = i; j < split.lines.size(); ++j) {
        Require(!split.lines[j], "no line follows an absent one");
      }
      break;
    }
    const std::string_view line = *split.lines[i];
    Require(Within(line, whole), "every line lies inside the reply");
    Require(line.find('\r') == std::string_view::npos, "no line holds a CR");
    Require(static_cast<std::size_t>(line.data() - whole.data()) ==
                std::min(expectedStart, whole.size()),
            "each line starts two bytes after the CR that ended the one before");
    const std::size_t end = static_cast<std::size_t>(line.data() - whole.data()) + line.size();
    if (i + 1 < split.lines.size() && split.lines[i + 1]) {
      Require(end < whole.size() && whole[end] == '\r',
              "a following line means a CR ended this one");
    }
    expectedStart = end + 2;
  }
  const bool bootload = tessaline::IsBootloaderIdentityText(whole, identityLength);
  if (bootload) {
    const std::string_view third = *split.lines[2];
    Require(third.size() == identityLength + tessaline::kBootloadLineSuffix.size() &&
                third.ends_with(tessaline::kBootloadLineSuffix),
            "a bootload line is the identity's length and then \" - Bootload\"");
  }
  return 0;
}
