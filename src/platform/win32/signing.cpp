// ECDSA P-256 through Windows CNG (BCrypt), whose signatures are r||s already.
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "platform/digest.h"
#include "platform/signing.h"

namespace tessaline::platform {

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

class Algorithm {
 public:
  Algorithm() {
    if (!Succeeded(
            BCryptOpenAlgorithmProvider(&handle_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
      handle_ = nullptr;
    }
  }
  ~Algorithm() {
    if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  BCRYPT_ALG_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

struct KeyCloser {
  void operator()(void* key) const { BCryptDestroyKey(static_cast<BCRYPT_KEY_HANDLE>(key)); }
};
using OwnedKey = std::unique_ptr<void, KeyCloser>;

// BCRYPT_ECCKEY_BLOB, then X, Y and (for a private blob) the scalar.
std::vector<UCHAR> Blob(ULONG magic, const EcPublicPoint& point, const EcPrivateScalar* scalar) {
  BCRYPT_ECCKEY_BLOB header{magic, 32};
  std::vector<UCHAR> blob(sizeof header + 64 + (scalar != nullptr ? 32 : 0));
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, point.data() + 1, 64);
  if (scalar != nullptr) std::memcpy(blob.data() + sizeof header + 64, scalar->data(), 32);
  return blob;
}

OwnedKey Import(const Algorithm& algorithm, LPCWSTR type, std::vector<UCHAR>& blob) {
  BCRYPT_KEY_HANDLE key = nullptr;
  if (algorithm.Get() == nullptr ||
      !Succeeded(BCryptImportKeyPair(algorithm.Get(), nullptr, type, &key, blob.data(),
                                     static_cast<ULONG>(blob.size()), 0))) {
    return nullptr;
  }
  return OwnedKey(key);
}

std::optional<Sha256Digest> HashOf(std::string_view message) {
  Sha256 hash;
  hash.Update(message);
  return hash.Finish();
}

}  // namespace

struct SigningKey::State {
  Algorithm algorithm;
  OwnedKey key;
};

SigningKey::SigningKey(std::unique_ptr<State> state, const EcPrivateScalar& scalar,
                       const EcPublicPoint& point)
    : state_(std::move(state)), scalar_(scalar), point_(point) {}
SigningKey::~SigningKey() { SecureZeroMemory(scalar_.data(), scalar_.size()); }
SigningKey::SigningKey(SigningKey&& other) noexcept = default;
SigningKey& SigningKey::operator=(SigningKey&& other) noexcept = default;

std::optional<SigningKey> SigningKey::Generate(std::string& error) {
  auto state = std::make_unique<State>();
  BCRYPT_KEY_HANDLE key = nullptr;
  if (state->algorithm.Get() == nullptr ||
      !Succeeded(BCryptGenerateKeyPair(state->algorithm.Get(), &key, 256, 0))) {
    error = "BCrypt could not make a P-256 key";
    return std::nullopt;
  }
  state->key.reset(key);
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 96);
  ULONG got = 0;
  if (!Succeeded(BCryptFinalizeKeyPair(key, 0)) ||
      !Succeeded(BCryptExportKey(key, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(),
                                 static_cast<ULONG>(blob.size()), &got, 0)) ||
      got != blob.size()) {
    error = "BCrypt could not make a P-256 key";
    return std::nullopt;
  }
  EcPublicPoint point{};
  EcPrivateScalar scalar{};
  point[0] = 0x04;
  std::memcpy(point.data() + 1, blob.data() + sizeof(BCRYPT_ECCKEY_BLOB), 64);
  std::memcpy(scalar.data(), blob.data() + sizeof(BCRYPT_ECCKEY_BLOB) + 64, 32);
  SecureZeroMemory(blob.data(), blob.size());
  return SigningKey(std::move(state), scalar, point);
}

std::optional<SigningKey> SigningKey::FromBytes(const EcPrivateScalar& scalar,
                                                const EcPublicPoint& point, std::string& error) {
  auto state = std::make_unique<State>();
  std::vector<UCHAR> blob = Blob(BCRYPT_ECDSA_PRIVATE_P256_MAGIC, point, &scalar);
  state->key = point[0] == 0x04 ? Import(state->algorithm, BCRYPT_ECCPRIVATE_BLOB, blob) : nullptr;
  SecureZeroMemory(blob.data(), blob.size());
  if (!state->key) {
    error = "not a P-256 key pair";
    return std::nullopt;
  }
  return SigningKey(std::move(state), scalar, point);
}

std::optional<EcSignature> SigningKey::Sign(std::string_view message) const {
  const auto hash = HashOf(message);
  EcSignature signature{};
  ULONG got = 0;
  if (!state_ || !hash ||
      !Succeeded(BCryptSignHash(state_->key.get(), nullptr, const_cast<PUCHAR>(hash->data()),
                                static_cast<ULONG>(hash->size()), signature.data(),
                                static_cast<ULONG>(signature.size()), &got, 0)) ||
      got != signature.size()) {
    return std::nullopt;
  }
  return signature;
}

bool VerifySignature(const EcPublicPoint& point, std::string_view message,
                     const EcSignature& signature) {
  if (point[0] != 0x04) return false;
  const Algorithm algorithm;
  std::vector<UCHAR> blob = Blob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, point, nullptr);
  const OwnedKey key = Import(algorithm, BCRYPT_ECCPUBLIC_BLOB, blob);
  const auto hash = HashOf(message);
  return key && hash &&
         Succeeded(BCryptVerifySignature(
             key.get(), nullptr, const_cast<PUCHAR>(hash->data()), static_cast<ULONG>(hash->size()),
             const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0));
}

}  // namespace tessaline::platform
