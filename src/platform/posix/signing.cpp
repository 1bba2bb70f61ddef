// ECDSA P-256 through OpenSSL's libcrypto (EVP); signatures converted between DER and r||s.
#include "platform/signing.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

namespace tessaline::platform {

namespace {

struct Freer {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  void operator()(BIGNUM* number) const { BN_clear_free(number); }
  void operator()(OSSL_PARAM_BLD* builder) const { OSSL_PARAM_BLD_free(builder); }
  void operator()(OSSL_PARAM* params) const { OSSL_PARAM_free(params); }
  void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
template <typename T>
using Owned = std::unique_ptr<T, Freer>;

// A key from its parts: the pair when `scalar` is given, the public half otherwise.
Owned<EVP_PKEY> KeyFromBytes(const EcPrivateScalar* scalar, const EcPublicPoint& point) {
  Owned<OSSL_PARAM_BLD> builder(OSSL_PARAM_BLD_new());
  Owned<BIGNUM> secret;
  if (scalar != nullptr) secret.reset(BN_bin2bn(scalar->data(), int(scalar->size()), nullptr));
  if (!builder || (scalar != nullptr && !secret) ||
      OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) !=
          1 ||
      OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(),
                                       point.size()) != 1 ||
      (secret &&
       OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_PRIV_KEY, secret.get()) != 1)) {
    return nullptr;
  }
  Owned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(builder.get()));
  Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* made = nullptr;
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &made,
                        scalar != nullptr ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                        params.get()) != 1) {
    return nullptr;
  }
  Owned<EVP_PKEY> key(made);
  // The point must lie on the curve, and the pair must belong together.
  Owned<EVP_PKEY_CTX> check(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  if (!check || (scalar != nullptr ? EVP_PKEY_pairwise_check(check.get())
                                   : EVP_PKEY_public_check(check.get())) != 1) {
    return nullptr;
  }
  return key;
}

}  // namespace

struct SigningKey::State {
  Owned<EVP_PKEY> key;
};

SigningKey::SigningKey(std::unique_ptr<State> state, const EcPrivateScalar& scalar,
                       const EcPublicPoint& point)
    : state_(std::move(state)), scalar_(scalar), point_(point) {}
SigningKey::~SigningKey() { scalar_.fill(0); }
SigningKey::SigningKey(SigningKey&& other) noexcept = default;
SigningKey& SigningKey::operator=(SigningKey&& other) noexcept = default;

std::optional<SigningKey> SigningKey::Generate(std::string& error) {
  Owned<EVP_PKEY> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  EcPublicPoint point{};
  EcPrivateScalar scalar{};
  std::size_t pointSize = 0;
  BIGNUM* secret = nullptr;
  const bool exported =
      key &&
      EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(),
                                      point.size(), &pointSize) == 1 &&
      pointSize == point.size() && point[0] == 0x04 &&
      EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &secret) == 1;
  Owned<BIGNUM> secretOwned(secret);
  if (!exported ||
      BN_bn2binpad(secret, scalar.data(), static_cast<int>(scalar.size())) != int(scalar.size())) {
    error = "libcrypto could not make a P-256 key";
    return std::nullopt;
  }
  auto state = std::make_unique<State>();
  state->key = std::move(key);
  return SigningKey(std::move(state), scalar, point);
}

std::optional<SigningKey> SigningKey::FromBytes(const EcPrivateScalar& scalar,
                                                const EcPublicPoint& point, std::string& error) {
  Owned<EVP_PKEY> key = KeyFromBytes(&scalar, point);
  if (!key) {
    error = "not a P-256 key pair";
    return std::nullopt;
  }
  auto state = std::make_unique<State>();
  state->key = std::move(key);
  return SigningKey(std::move(state), scalar, point);
}

std::optional<EcSignature> SigningKey::Sign(std::string_view message) const {
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  unsigned char der[80];
  std::size_t derSize = sizeof der;
  if (!state_ || !context ||
      EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, state_->key.get()) != 1 ||
      EVP_DigestSign(context.get(), der, &derSize,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1) {
    return std::nullopt;
  }
  const unsigned char* cursor = der;
  Owned<ECDSA_SIG> parsed(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(derSize)));
  if (!parsed) return std::nullopt;
  EcSignature signature{};
  if (BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), signature.data(), 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), signature.data() + 32, 32) != 32) {
    return std::nullopt;
  }
  return signature;
}

bool VerifySignature(const EcPublicPoint& point, std::string_view message,
                     const EcSignature& signature) {
  Owned<EVP_PKEY> key = KeyFromBytes(nullptr, point);
  Owned<ECDSA_SIG> parsed(ECDSA_SIG_new());
  if (!key || !parsed) return false;
  BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
  if (r == nullptr || s == nullptr || ECDSA_SIG_set0(parsed.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return false;
  }
  unsigned char* der = nullptr;
  const int derSize = i2d_ECDSA_SIG(parsed.get(), &der);
  if (derSize <= 0) return false;
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  const bool valid =
      context &&
      EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
      EVP_DigestVerify(context.get(), der, static_cast<std::size_t>(derSize),
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  OPENSSL_free(der);
  return valid;
}

}  // namespace tessaline::platform
