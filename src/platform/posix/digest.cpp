// SHA-256 through OpenSSL's libcrypto (its SHA-256 routines called directly).
//
// The EVP interface would first start libcrypto's provider machinery, which keeps about 2 MB more
// of the library resident for the one algorithm used here; the direct routines are the same code
// without it. They are marked deprecated in OpenSSL 3 but remain part of its interface.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "platform/digest.h"

#include <openssl/sha.h>

namespace tessaline::platform {

struct Sha256::State {
  SHA256_CTX context{};
  bool failed = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->failed = SHA256_Init(&state_->context) != 1;
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&& other) noexcept = default;
Sha256& Sha256::operator=(Sha256&& other) noexcept = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  if (!state_ || state_->failed || bytes.empty()) return;
  state_->failed = SHA256_Update(&state_->context, bytes.data(), bytes.size()) != 1;
}

std::optional<Sha256Digest> Sha256::Finish() {
  if (!state_ || state_->failed) return std::nullopt;
  Sha256Digest digest{};
  const bool done = SHA256_Final(digest.data(), &state_->context) == 1;
  state_.reset();
  if (!done) return std::nullopt;
  return digest;
}

}  // namespace tessaline::platform
