// SHA-256 from the system's crypto library: the standard test vectors and piecewise updates.
#include "platform/digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaline::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(Sha256, KnownVectors) {
  const std::vector<std::pair<Bytes, std::string>> vectors = {
      {Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {Of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {Of("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
          "lmnopqrsmnopqrstnopqrstu"),
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {Bytes(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [message, digest] : vectors) {
    EXPECT_EQ(Sha256Hex(std::span(message)), digest) << message.size() << " bytes";
  }
  EXPECT_EQ(Sha256Hex(std::string_view("abc")), vectors[1].second);
}

TEST(Sha256, PiecewiseUpdatesEqualOneUpdate) {
  Bytes message(300);
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i * 31);
  const std::string whole = Sha256Hex(std::span(message));
  for (std::size_t cut : {1u, 55u, 56u, 63u, 64u, 65u, 128u, 299u}) {
    Sha256 hash;
    hash.Update(std::span(message).first(cut));
    hash.Update(std::span(message).subspan(cut));
    const auto digest = hash.Finish();
    ASSERT_TRUE(digest);
    EXPECT_EQ(LowerHex(*digest), whole) << "cut at " << cut;
  }
}

}  // namespace
}  // namespace tessaline::platform
