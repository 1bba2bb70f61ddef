// ECDSA P-256 with SHA-256 from the operating system's crypto library (libcrypto, BCrypt).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tessaline::platform {

// The public key as an uncompressed point: 0x04, X, Y (big-endian).
using EcPublicPoint = std::array<std::uint8_t, 65>;
// The private scalar, big-endian.
using EcPrivateScalar = std::array<std::uint8_t, 32>;
// r then s, 32 bytes each, big-endian: the form BCrypt uses, so both sides read one another's.
using EcSignature = std::array<std::uint8_t, 64>;

// A key pair able to sign. Move-only; safe to sign with from several threads at once.
class SigningKey {
 public:
  static std::optional<SigningKey> Generate(std::string& error);
  // From the bytes a key file keeps; refused when they are not one P-256 key pair.
  static std::optional<SigningKey> FromBytes(const EcPrivateScalar& scalar,
                                             const EcPublicPoint& point, std::string& error);
  ~SigningKey();
  SigningKey(SigningKey&& other) noexcept;
  SigningKey& operator=(SigningKey&& other) noexcept;
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  const EcPublicPoint& PublicPoint() const { return point_; }
  // Only for writing the owner's key file.
  const EcPrivateScalar& PrivateScalar() const { return scalar_; }
  // The signature over SHA-256 of `message`; nothing when the crypto library failed.
  std::optional<EcSignature> Sign(std::string_view message) const;

 private:
  struct State;
  SigningKey(std::unique_ptr<State> state, const EcPrivateScalar& scalar,
             const EcPublicPoint& point);
  std::unique_ptr<State> state_;
  EcPrivateScalar scalar_{};
  EcPublicPoint point_{};
};

// Whether `signature` was made over `message` by the private half of `point`. An invalid point
// or signature is simply false.
bool VerifySignature(const EcPublicPoint& point, std::string_view message,
                     const EcSignature& signature);

}  // namespace tessaline::platform
