// The user's receipt signing key: its file, its fingerprint and the public key others verify with.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/signing.h"

namespace tessaline::receipts {

// Lower-case hex SHA-256 of the public point (65 bytes, uncompressed): what a receipt's `key`
// holds.
std::string Fingerprint(const platform::EcPublicPoint& point);

// The public key as PEM ("-----BEGIN PUBLIC KEY-----", SubjectPublicKeyInfo), which OpenSSL and
// other tools read too.
std::string PublicKeyPem(const platform::EcPublicPoint& point);
// Reads that form back; nothing, with why, when the text is not a P-256 public key.
std::optional<platform::EcPublicPoint> ParsePublicKeyPem(std::string_view text, std::string& why);
std::optional<platform::EcPublicPoint> ReadPublicKeyFile(const std::filesystem::path& path,
                                                         std::string& why);

// Where the user's private key is kept: "signing-key" in platform::UserKeyFolder().
std::optional<std::filesystem::path> UserKeyPath(std::string& why);

struct UserKey {
  std::shared_ptr<const platform::SigningKey> key;
  std::filesystem::path path;
  bool made = false;  // made by this call, not read
};

// The user's key, made on first use. A key file others may read is refused, as is one that
// does not hold a P-256 key pair. Read once per process; later calls share it.
std::optional<UserKey> LoadOrMakeUserKey(std::string& why);

}  // namespace tessaline::receipts
