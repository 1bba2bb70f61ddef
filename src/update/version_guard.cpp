// Build versions and the version guard's rule.
#include "update/version_guard.h"

#include <charconv>

#include "link/bootloader_commands.h"

namespace tessaline {

namespace {
constexpr std::uint32_t kMaxVersionPart = 0xFFFF;

std::optional<std::uint32_t> Part(std::string_view text) {
  std::uint32_t value = 0;
  const auto [at, code] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || code != std::errc{} || at != text.data() + text.size() ||
      value > kMaxVersionPart) {
    return std::nullopt;
  }
  return value;
}
}  // namespace

std::optional<std::uint32_t> ParseBuildVersion(std::string_view text) {
  if (!text.empty() && (text.front() == 'V' || text.front() == 'v')) text.remove_prefix(1);
  const auto dot = text.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const auto major = Part(text.substr(0, dot));
  const auto minor = Part(text.substr(dot + 1));
  if (!major || !minor) return std::nullopt;
  return *major << 16 | *minor;
}

GuardRefusal GuardVersion(const ApplicationReading& unit, std::uint32_t packageVersion,
                          const DowngradeQuestion& askBeforeDowngrade) {
  switch (unit.state) {
    case ApplicationState::NoAnswer:
      return "the unit did not report its application version, so it could not be checked";
    case ApplicationState::NoApplication:
      return std::nullopt;
    case ApplicationState::Version:
      break;
  }
  if (unit.version <= packageVersion) return std::nullopt;
  if (askBeforeDowngrade && askBeforeDowngrade(unit.version, packageVersion)) return std::nullopt;
  return "the unit runs application version " + FormatApplicationVersion(unit.version) +
         ", newer than this package's " + FormatApplicationVersion(packageVersion);
}

}  // namespace tessaline
