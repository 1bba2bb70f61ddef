// A dictionary of key = value lines: the product's texts, versions, help pages and error messages.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/loadable_text.h"

namespace tessaline {

// Longest key and value kept, in bytes (values after "\n" unescaping); longer ones are cut.
inline constexpr std::size_t kMaxKeyLength = 511;
inline constexpr std::size_t kMaxValueLength = 511;
// Longest help page key ("help-message.Updater Instructions.3"), in bytes.
inline constexpr std::size_t kMaxPageKeyLength = 63;
inline constexpr std::uint32_t kMaxHelpPages = 254;

inline constexpr std::string_view kPropertiesResourceType = "PROPERTIES";

class PropertiesContainer : public LoadableText {
 public:
  // Never fails on a line's content: key up to the first "=", value after it with "\n" standing
  // for a line break, both trimmed of TABs and spaces.
  bool ParseLine(std::string_view line) override;
  // The same line rules over a text in memory (a package's file).
  bool LoadFromMemory(std::span<const std::uint8_t> text) { return LoadFromBytes(text); }

  // The stored value, or null when no entry has that key (exact, case-sensitive). The pointer
  // stays valid for the life of the container.
  const std::string* Lookup(std::string_view key) const;
  // The stored value, or an empty text when the key is absent.
  const std::string& GetString(std::string_view key) const;
  // Inserts unless present: the first definition of a key wins.
  void AddProperty(std::string_view key, std::string_view value);
  std::size_t Size() const { return entries_.size(); }
  // Calls `visit(key, value)` for every entry in the order they were added.
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const Entry& entry : entries_) visit(entry.key, entry.value);
  }

  // The key of help page `page` of a topic ("help-message.Updater Instructions" + ".3"), cut to
  // kMaxPageKeyLength bytes.
  static std::string HelpPageKey(std::string_view topic, std::uint32_t page);
  // Pages 1, 2, ... of a topic up to the first absent or empty one (at most kMaxHelpPages). A
  // page whose key does not fit kMaxPageKeyLength ends the pages: its cut key names no page.
  std::vector<std::string> HelpPages(std::string_view topic) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  // A deque keeps every stored value at its address while entries are added.
  std::deque<Entry> entries_;
};

}  // namespace tessaline
