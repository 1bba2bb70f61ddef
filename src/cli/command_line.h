// Parsing of "tessaline-update COMMAND [--option [value]] ..." against a command's option list.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::cli {

// A command's options as a comma-separated list; a name ending in '=' takes a value
// ("ip=,port=,force" accepts --ip ADDRESS, --port DEVICE and the flag --force); "=*" marks one
// that may be given several times ("ip=*"). A name in angle brackets ("<FILE>") is one word
// without dashes, read with Value("FILE"). A name ending in '?' takes a value only in the form
// --name=VALUE; alone, Value gives "".
struct OptionSpec {
  std::string name;
  bool takesValue = false;
  bool operand = false;
  bool repeats = false;
  bool optionalValue = false;
};
std::vector<OptionSpec> ParseOptionList(std::string_view list);

class CommandLine {
 public:
  // Parses the words after the command name. False with a message in `error` on an unknown
  // option, a missing value, a repeated option or a stray word.
  bool Parse(const std::vector<std::string>& words, const std::vector<OptionSpec>& accepted,
             std::string& error);

  bool Has(std::string_view name) const;
  // The first value of an option; Values gives every one, in the order given.
  std::optional<std::string> Value(std::string_view name) const;
  std::vector<std::string> Values(std::string_view name) const;
  // A value read as a decimal number within [low, high]; `error` says why not.
  std::optional<std::uint32_t> Number(std::string_view name, std::uint32_t low, std::uint32_t high,
                                      std::string& error) const;

 private:
  std::multimap<std::string, std::string, std::less<>> options_;  // flags map to ""
};

}  // namespace tessaline::cli
