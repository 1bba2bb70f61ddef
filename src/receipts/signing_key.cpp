// The user's signing key file, PEM public keys and fingerprints.
#include "receipts/signing_key.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "platform/digest.h"
#include "platform/owner_only_file.h"

namespace tessaline::receipts {

namespace {

constexpr std::string_view kPemBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kPemEnd = "-----END PUBLIC KEY-----";
// SubjectPublicKeyInfo of an id-ecPublicKey on prime256v1, up to the point's 65 bytes.
constexpr std::array<std::uint8_t, 26> kSpkiPrefix = {
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
    0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};
constexpr std::string_view kKeyFileHeader = "tessaline receipt signing key, ECDSA P-256";
constexpr std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (n > 1) group |= std::uint32_t{bytes[i + 1]} << 8;
    if (n > 2) group |= bytes[i + 2];
    for (std::size_t k = 0; k < 4; ++k) {
      text.push_back(k <= n ? kBase64[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> FromBase64(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::uint32_t group = 0;
  int bits = 0;
  for (const char c : text) {
    if (c == '=' || c == '\r' || c == '\n' || c == ' ') continue;
    const auto value = kBase64.find(c);
    if (value == std::string_view::npos) return std::nullopt;
    group = (group << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<std::uint8_t>(group >> bits));
    }
  }
  return bytes;
}

template <std::size_t N>
bool FromHex(std::string_view text, std::array<std::uint8_t, N>& into) {
  if (text.size() != 2 * N) return false;
  for (std::size_t i = 0; i < N; ++i) {
    int value = 0;
    for (const char c : text.substr(2 * i, 2)) {
      const auto digit = std::string_view("0123456789abcdef").find(c);
      if (digit == std::string_view::npos) return false;
      value = value * 16 + static_cast<int>(digit);
    }
    into[i] = static_cast<std::uint8_t>(value);
  }
  return true;
}

// Header line, the private scalar in hex, the public point in hex.
std::string KeyFileText(const platform::SigningKey& key) {
  return std::string(kKeyFileHeader) + "\nprivate " + platform::LowerHex(key.PrivateScalar()) +
         "\npublic " + platform::LowerHex(key.PublicPoint()) + "\n";
}

std::optional<platform::SigningKey> ParseKeyFile(std::string_view text, std::string& why) {
  platform::EcPrivateScalar scalar{};
  platform::EcPublicPoint point{};
  const auto field = [&text](std::string_view name) -> std::string_view {
    std::string tag = "\n";  // appended, not concatenated: mingw's -Wrestrict misreads that
    tag.append(name).push_back(' ');
    const auto at = text.find(tag);
    if (at == std::string_view::npos) return {};
    const auto from = at + tag.size();
    return text.substr(from, text.find('\n', from) - from);
  };
  const bool read = text.starts_with(kKeyFileHeader) && FromHex(field("private"), scalar) &&
                    FromHex(field("public"), point);
  auto key = read ? platform::SigningKey::FromBytes(scalar, point, why) : std::nullopt;
  scalar.fill(0);
  if (!read) why = "not a receipt signing key file";
  return key;
}

}  // namespace

std::string Fingerprint(const platform::EcPublicPoint& point) { return platform::Sha256Hex(point); }

std::string PublicKeyPem(const platform::EcPublicPoint& point) {
  std::vector<std::uint8_t> der(kSpkiPrefix.begin(), kSpkiPrefix.end());
  der.insert(der.end(), point.begin(), point.end());
  const std::string body = Base64(der);
  std::string pem = std::string(kPemBegin) + "\n";
  for (std::size_t i = 0; i < body.size(); i += 64) pem += body.substr(i, 64) + "\n";
  return pem + std::string(kPemEnd) + "\n";
}

std::optional<platform::EcPublicPoint> ParsePublicKeyPem(std::string_view text, std::string& why) {
  const auto begin = text.find(kPemBegin);
  const auto end = text.find(kPemEnd);
  why = "not a P-256 public key (PEM, BEGIN PUBLIC KEY)";
  if (begin == std::string_view::npos || end == std::string_view::npos || end < begin) {
    return std::nullopt;
  }
  const auto der =
      FromBase64(text.substr(begin + kPemBegin.size(), end - begin - kPemBegin.size()));
  if (!der || der->size() != kSpkiPrefix.size() + 65 ||
      !std::equal(kSpkiPrefix.begin(), kSpkiPrefix.end(), der->begin()) ||
      (*der)[kSpkiPrefix.size()] != 0x04) {
    return std::nullopt;
  }
  platform::EcPublicPoint point{};
  std::copy(der->begin() + kSpkiPrefix.size(), der->end(), point.begin());
  why.clear();
  return point;
}

std::optional<platform::EcPublicPoint> ReadPublicKeyFile(const std::filesystem::path& path,
                                                         std::string& why) {
  std::error_code failed;
  const auto size = std::filesystem::file_size(path, failed);
  if (failed || size > 64 * 1024) {
    why = path.string() + ": " + (failed ? failed.message() : "too long for a public key");
    return std::nullopt;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  const bool read = file != nullptr && std::fread(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr) std::fclose(file);
  if (!read) {
    why = path.string() + ": cannot be read";
    return std::nullopt;
  }
  auto point = ParsePublicKeyPem(text, why);
  if (!point) why = path.string() + ": " + why;
  return point;
}

std::optional<std::filesystem::path> UserKeyPath(std::string& why) {
  auto folder = platform::UserKeyFolder(why);
  if (!folder) return std::nullopt;
  return *folder / "signing-key";
}

std::optional<UserKey> LoadOrMakeUserKey(std::string& why) {
  static std::mutex guard;
  static std::optional<UserKey> loaded;
  const std::lock_guard lock(guard);
  if (loaded) return UserKey{loaded->key, loaded->path, false};
  const auto path = UserKeyPath(why);
  if (!path) return std::nullopt;
  UserKey user{nullptr, *path, false};
  std::error_code failed;
  if (!std::filesystem::exists(*path, failed)) {
    auto made = platform::SigningKey::Generate(why);
    if (!made) return std::nullopt;
    std::string text = KeyFileText(*made);
    const bool created = platform::CreateOwnerOnlyFile(*path, text, why);
    std::fill(text.begin(), text.end(), '\0');
    // Another process that made one at the same moment won: its key is the user's.
    if (created) {
      user.key = std::make_shared<const platform::SigningKey>(std::move(*made));
      user.made = true;
    } else if (!std::filesystem::exists(*path, failed)) {
      return std::nullopt;
    }
  }
  if (!user.key) {
    auto text = platform::ReadOwnerOnlyFile(*path, why);
    auto key = text ? ParseKeyFile(*text, why) : std::nullopt;
    if (text) std::fill(text->begin(), text->end(), '\0');
    if (!key) {
      if (text) why = path->string() + ": " + why;
      return std::nullopt;
    }
    user.key = std::make_shared<const platform::SigningKey>(std::move(*key));
  }
  loaded = user;
  return user;
}

}  // namespace tessaline::receipts
