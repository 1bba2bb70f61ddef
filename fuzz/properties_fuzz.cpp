// Fuzzes the properties text: line splitting, "key = value" parsing, unescaping and look-up.
#include <cstdint>
#include <set>
#include <string>

#include "fuzz_input.h"
#include "package/properties_container.h"

namespace {

using tessaline::fuzz::Require;

// Reaches the loader's byte-level entry, which resources and files share.
class FuzzedProperties : public tessaline::PropertiesContainer {
 public:
  bool Load(std::span<const std::uint8_t> bytes) { return LoadFromBytes(bytes); }
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void RequireTrimmed(const std::string& text, const char* rule) {
  Require(text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back())), rule);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedProperties properties;
  Require(properties.Load({data, size}), "a properties load never fails on content");

  // Every key that can be asked for from the text: the part of each line before its first '='.
  const std::string_view text = tessaline::fuzz::AsText({data, size});
  std::set<std::string> seen;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();  // a last line without its line end
    const std::string_view line = text.substr(start, end - start);
    std::string_view key = line.substr(0, line.find('='));
    while (!key.empty() && IsBlank(key.front())) key.remove_prefix(1);
    while (!key.empty() && IsBlank(key.back())) key.remove_suffix(1);
    if (key.size() <= tessaline::kMaxKeyLength && line.size() <= tessaline::kMaxLineLength &&
        key.find('\0') == std::string_view::npos) {
      const std::string* value = properties.Lookup(key);
      Require(value != nullptr, "every loaded key can be looked up");
      Require(&properties.GetString(key) == value, "GetString and Lookup give the same value");
      RequireTrimmed(*value, "values carry no outer blanks");
      Require(value->size() <= tessaline::kMaxValueLength, "values are cut at the limit");
      Require(value->find_first_of("\r") == std::string::npos, "a value never holds a CR");
      seen.insert(std::string(key));
    }
    start = text.find_first_not_of("\r\n", end);
    if (start == std::string_view::npos) break;
  }
  Require(properties.Size() >= seen.size(), "no loaded key is lost");
  Require(properties.Lookup("\x01no such key\x02") == nullptr || seen.count("\x01no such key\x02"),
          "an absent key looks up as null");

  // Reloading the same text adds nothing: the first definition of a key wins.
  const std::size_t entries = properties.Size();
  properties.Load({data, size});
  Require(properties.Size() == entries, "a second load of the same text adds no entry");

  const auto pages = properties.HelpPages("help-message.Updater Instructions");
  Require(pages.size() <= tessaline::kMaxHelpPages, "at most 254 help pages");
  for (const auto& page : pages) Require(!page.empty(), "help pages end at the first empty one");
  return 0;
}
