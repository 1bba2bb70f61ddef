// Parsing and looking up key = value properties texts.
#include "package/properties_container.h"

#include <algorithm>

namespace tessaline {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TrimAndCut(std::string_view text, std::size_t limit) {
  return TrimBlanks(CutUtf8(TrimBlanks(text), limit));
}

}  // namespace

bool PropertiesContainer::ParseLine(std::string_view line) {
  const std::size_t separator = line.find('=');
  const std::string_view key = line.substr(0, separator);

  std::string value;
  if (separator != std::string_view::npos) {
    const std::string_view raw = line.substr(separator + 1);
    value.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
      const char c = raw[i];
      if (c == '\0' || c == '\n' || c == '\r') break;
      if (c == '\\' && i + 1 < raw.size() && raw[i + 1] == 'n') {
        value.push_back('\n');
        ++i;
      } else {
        value.push_back(c);
      }
    }
  }
  AddProperty(TrimAndCut(key, kMaxKeyLength), TrimAndCut(value, kMaxValueLength));
  return true;
}

const std::string* PropertiesContainer::Lookup(std::string_view key) const {
  const auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [key](const Entry& e) { return e.key == key; });
  return found == entries_.end() ? nullptr : &found->value;
}

const std::string& PropertiesContainer::GetString(std::string_view key) const {
  static const std::string kEmpty;
  const std::string* value = Lookup(key);
  return value != nullptr ? *value : kEmpty;
}

void PropertiesContainer::AddProperty(std::string_view key, std::string_view value) {
  if (Lookup(key) != nullptr) return;
  entries_.push_back(Entry{std::string(key), std::string(value)});
}

std::string PropertiesContainer::HelpPageKey(std::string_view topic, std::uint32_t page) {
  std::string key(topic);
  key += '.';
  key += std::to_string(page);
  return std::string(CutUtf8(key, kMaxPageKeyLength));
}

std::vector<std::string> PropertiesContainer::HelpPages(std::string_view topic) const {
  std::vector<std::string> pages;
  for (std::uint32_t page = 1; page <= kMaxHelpPages; ++page) {
    const std::string key = HelpPageKey(topic, page);
    if (key.size() != topic.size() + 1 + std::to_string(page).size()) break;
    const std::string& text = GetString(key);
    if (text.empty()) break;
    pages.push_back(text);
  }
  return pages;
}

}  // namespace tessaline
