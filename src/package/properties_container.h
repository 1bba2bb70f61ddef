// A dictionary of key = value lines: the product's texts, versions, help pages and error messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/loadable_text.h"

namespace tessaline {

inline constexpr std::size_t kMaxKeyLength = 511;
inline constexpr std::size_t kMaxValueLength = 511;
inline constexpr std::size_t kMaxPageKeyLength = 63;
inline constexpr std::uint32_t kMaxHelpPages = 254;

class PropertiesContainer : public LoadableText {
 public:
  bool ParseLine(std::string_view line) override;
  bool LoadPropertiesResource(std::string_view name);

  // The stored value, or null when no entry has that key (exact, case-sensitive).
  const std::string* Lookup(std::string_view key) const;
  // The stored value, or an empty text when the key is absent.
  const std::string& GetString(std::string_view key) const;
  // Inserts unless present: the first definition of a key wins.
  void AddProperty(std::string_view key, std::string_view value);

  // The key of help page `page` of a topic ("help-message.Updater Instructions" + ".3"), cut to
  // kMaxPageKeyLength characters.
  static std::string HelpPageKey(std::string_view topic, std::uint32_t page);
  // Pages 1, 2, ... of a topic up to the first absent or empty one (at most kMaxHelpPages).
  std::vector<std::string> HelpPages(std::string_view topic) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  std::vector<Entry> entries_;
};

}  // namespace tessaline
