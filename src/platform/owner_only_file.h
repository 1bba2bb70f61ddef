// Files only their owner may read (a private key), and the per-user folder that holds them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessaline::platform {

// TESSALINE_KEY_DIR when set; otherwise the user's configuration folder for this program
// ($XDG_CONFIG_HOME/tessaline or ~/.config/tessaline; %APPDATA%\Tessaline on Windows).
// Nothing, with why, when neither can be found.
std::optional<std::filesystem::path> UserKeyFolder(std::string& error);

// The file's text; refused (nothing, with why) when others than its owner may read or write it.
std::optional<std::string> ReadOwnerOnlyFile(const std::filesystem::path& path, std::string& error);

// Creates the file (and its folder) readable by its owner only and writes `text`. Refused when
// the file already exists, so two processes that make a key at once keep the first one.
bool CreateOwnerOnlyFile(const std::filesystem::path& path, std::string_view text,
                         std::string& error);

}  // namespace tessaline::platform
