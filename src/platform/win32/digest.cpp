// SHA-256 through Windows CNG (BCrypt).
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>

#include "platform/digest.h"

namespace tessaline::platform {

namespace {
bool Succeeded(NTSTATUS status) { return status >= 0; }
}  // namespace

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool failed = false;

  State() {
    failed =
        !Succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  }
  ~State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&& other) noexcept = default;
Sha256& Sha256::operator=(Sha256&& other) noexcept = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  if (!state_ || state_->failed) return;
  // BCryptHashData takes a 32-bit length.
  constexpr std::size_t kMaxPiece = 0x40000000;
  while (!bytes.empty() && !state_->failed) {
    const std::size_t piece = std::min(bytes.size(), kMaxPiece);
    state_->failed = !Succeeded(BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes.data()),
                                               static_cast<ULONG>(piece), 0));
    bytes = bytes.subspan(piece);
  }
}

std::optional<Sha256Digest> Sha256::Finish() {
  if (!state_ || state_->failed) return std::nullopt;
  Sha256Digest digest{};
  const bool done = Succeeded(
      BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  state_.reset();
  if (!done) return std::nullopt;
  return digest;
}

}  // namespace tessaline::platform
