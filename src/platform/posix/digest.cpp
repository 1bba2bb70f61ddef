// SHA-256 through OpenSSL's libcrypto (EVP interface).
#include "platform/digest.h"

#include <openssl/evp.h>

namespace tessaline::platform {

struct Sha256::State {
  struct ContextFree {
    void operator()(EVP_MD_CTX* owned) const noexcept { EVP_MD_CTX_free(owned); }
  };
  std::unique_ptr<EVP_MD_CTX, ContextFree> context{EVP_MD_CTX_new()};
  bool failed = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->failed =
      !state_->context || EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&& other) noexcept = default;
Sha256& Sha256::operator=(Sha256&& other) noexcept = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  if (!state_ || state_->failed || bytes.empty()) return;
  state_->failed = EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) != 1;
}

std::optional<Sha256Digest> Sha256::Finish() {
  if (!state_ || state_->failed) return std::nullopt;
  Sha256Digest digest{};
  unsigned length = 0;
  const bool done = EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) == 1 &&
                    length == digest.size();
  state_.reset();
  if (!done) return std::nullopt;
  return digest;
}

}  // namespace tessaline::platform
