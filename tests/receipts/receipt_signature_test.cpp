// Signed receipts: every tampering a forger without the key can do is refused, each bad line named.
#include <gtest/gtest.h>

#include <functional>

#include "platform/digest.h"
#include "receipt_test_support.h"
#include "receipts/receipt_log.h"

namespace tessaline::receipts {
namespace {

using testing::SampleReceipt;
using testing::ScratchFile;

platform::SigningKey NewKey() {
  std::string error;
  auto key = platform::SigningKey::Generate(error);
  EXPECT_TRUE(key) << error;
  return std::move(*key);
}

// Four receipts appended to a fresh file, signed by `key` (unsigned without one).
std::vector<std::string> FourLines(const platform::SigningKey* key, std::uint64_t totalMs) {
  ScratchFile file("four");
  for (int i = 1; i <= 4; ++i) {
    std::string error;
    EXPECT_TRUE(AppendReceipt(file.Path(), SampleReceipt("127.0.0." + std::to_string(i), totalMs),
                              error, {}, kReceiptLockWait, key))
        << error;
  }
  return file.Lines();
}

TEST(ReceiptSignatures, EveryTamperingIsRefusedWithEachBadLineNamed) {
  const platform::SigningKey owner = NewKey();
  const platform::SigningKey other = NewKey();
  // A digit of total_ms (1000 -> 9000): the line stays a well-formed receipt.
  const auto changeByte = [](std::string& line) {
    line[line.find("\"total_ms\":1000") + 11] = '9';
  };
  // A forger's receipt for the end of `lines`, `prev` right, signed by `key` (or not at all).
  const auto forgedAfter = [](const std::vector<std::string>& lines,
                              const platform::SigningKey* key) {
    ScratchFile file("forged");
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    file.Write(text);
    std::string error;
    EXPECT_TRUE(AppendReceipt(file.Path(), SampleReceipt("127.0.0.66", 5), error, {},
                              kReceiptLockWait, key))
        << error;
    return file.Lines().back();
  };
  struct Case {
    const char* name;
    std::function<void(std::vector<std::string>&)> tamper;
    std::vector<std::size_t> bad;
  };
  const std::vector<Case> cases = {
      {"untouched", [](auto&) {}, {}},
      {"a byte of the first line", [&](auto& l) { changeByte(l[0]); }, {1, 2}},
      {"a byte of a middle line", [&](auto& l) { changeByte(l[1]); }, {2, 3}},
      {"a byte of the last line", [&](auto& l) { changeByte(l[3]); }, {4}},
      {"the last line's outcome",
       [](auto& l) { l[3].replace(l[3].find("succeeded"), 9, "failed"); },
       {4}},
      {"a line deleted", [](auto& l) { l.erase(l.begin() + 1); }, {2}},
      {"two lines reordered", [](auto& l) { std::swap(l[1], l[2]); }, {2, 3, 4}},
      {"a line duplicated", [](auto& l) { l.insert(l.begin() + 2, l[1]); }, {3}},
      {"an unsigned line appended", [&](auto& l) { l.push_back(forgedAfter(l, nullptr)); }, {5}},
      {"a line by another key appended",
       [&](auto& l) { l.push_back(forgedAfter(l, &other)); },
       {5}},
      {"the last line re-signed by another key",
       [&](auto& l) {
         l.pop_back();
         l.push_back(forgedAfter(l, &other));
       },
       {4}},
      {"the whole file re-chained without the key",
       [](auto& l) { l = FourLines(nullptr, 1000); },
       {1, 2, 3, 4}},
      {"the whole file re-chained and signed by another key",
       [&](auto& l) { l = FourLines(&other, 1000); },
       {1, 2, 3, 4}},
      {"the signature removed from the last line",
       [](auto& l) { l[3].erase(l[3].find(",\"key\":")).append("}"); },
       {4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto lines = FourLines(&owner, 1000);
    ASSERT_EQ(lines.size(), 4u);
    c.tamper(lines);
    ScratchFile file("tampered");
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    file.Write(text);
    const ReceiptLogCheck check = VerifyReceipts(file.Path(), owner.PublicPoint());
    std::vector<std::size_t> named;
    for (const BadReceiptLine& bad : check.bad) {
      if (named.empty() || named.back() != bad.line) named.push_back(bad.line);
      EXPECT_TRUE(bad.problem.starts_with("line " + std::to_string(bad.line) + ": "))
          << bad.problem;
    }
    EXPECT_EQ(named, c.bad) << (check.bad.empty() ? "" : check.problem);
    EXPECT_EQ(check.state, c.bad.empty() ? ReceiptLogState::Valid : ReceiptLogState::Broken);
    EXPECT_EQ(check.head, platform::Sha256Hex(lines.back()));
  }
}

}  // namespace
}  // namespace tessaline::receipts
