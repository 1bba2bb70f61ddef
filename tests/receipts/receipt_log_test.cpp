// The receipts file: appends chain, and any edit, removal or reordering breaks the chain at the
// right line.
#include "receipts/receipt_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "platform/locked_file.h"

#include "receipt_test_support.h"

namespace tessaline::receipts {
namespace {

using testing::SampleReceipt;
using testing::ScratchFile;

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

void AppendThree(const ScratchFile& file) {
  for (int i = 1; i <= 3; ++i) {
    std::string error;
    ASSERT_TRUE(
        AppendReceipt(file.Path(), SampleReceipt("127.0.0." + std::to_string(i), 1000u * i), error))
        << error;
  }
}

TEST(ReceiptLog, ThreeAppendsChainAndReadBack) {
  ScratchFile file("three");
  AppendThree(file);
  const ReceiptLogCheck check = VerifyReceipts(file.Path());
  ASSERT_EQ(check.state, ReceiptLogState::Valid) << check.problem;
  ASSERT_EQ(check.receipts.size(), 3u);
  EXPECT_EQ(check.receipts[0].prev, "");
  EXPECT_EQ(check.receipts[1].prev.size(), 64u);
  EXPECT_NE(check.receipts[1].prev, check.receipts[2].prev);
  const Receipt& middle = check.receipts[1];
  EXPECT_EQ(middle.unit, "127.0.0.2");
  EXPECT_EQ(middle.totalMs, 2000u);
  EXPECT_EQ(middle.options, SampleReceipt("127.0.0.2", 0).options);
  ASSERT_EQ(middle.stages.size(), 2u);
  EXPECT_EQ(middle.stages[1].exchanges, 1952u);
  EXPECT_EQ(middle.stages[1].resends, 3u);
  EXPECT_FALSE(middle.confirmation);

  // The running confirmation, when there is one, reads back too.
  Receipt confirmed = SampleReceipt("127.0.0.4", 5);
  confirmed.confirmation = RunningConfirmation{30, true, 2400, "1.2", "answered"};
  std::string why;
  const auto back = ParseReceiptLine(ReceiptJsonLine(confirmed), why);
  ASSERT_TRUE(back) << why;
  ASSERT_TRUE(back->confirmation);
  EXPECT_EQ(back->confirmation->elapsedMs, 2400u);
  EXPECT_TRUE(back->confirmation->running);
}

TEST(ReceiptLog, TamperingBreaksTheChainAtTheRightLine) {
  struct Case {
    const char* name;
    std::function<void(std::vector<std::string>&)> tamper;
    std::size_t badLine;
    std::size_t listed;  // lines still read as receipts: checking goes on past a bad line
  };
  const std::vector<Case> cases = {
      // Still a well-formed receipt, so line 2 reads fine and line 3 no longer chains to it.
      {"one digit of the middle line",
       [](auto& lines) { lines[1][lines[1].find("\"total_ms\":2000") + 11] = '3'; }, 3, 3},
      {"one byte that spoils the middle line's form", [](auto& lines) { lines[1][0] = '['; }, 2, 2},
      {"middle line deleted", [](auto& lines) { lines.erase(lines.begin() + 1); }, 2, 2},
      {"last two lines swapped", [](auto& lines) { std::swap(lines[1], lines[2]); }, 2, 3},
      {"first two lines swapped", [](auto& lines) { std::swap(lines[0], lines[1]); }, 1, 3},
      {"first line deleted", [](auto& lines) { lines.erase(lines.begin()); }, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFile file("tamper");
    AppendThree(file);
    auto lines = file.Lines();
    ASSERT_EQ(lines.size(), 3u);
    c.tamper(lines);
    file.Write(Join(lines));
    const ReceiptLogCheck check = VerifyReceipts(file.Path());
    EXPECT_EQ(check.state, ReceiptLogState::Broken);
    EXPECT_EQ(check.badLine, c.badLine) << check.problem;
    EXPECT_EQ(check.receipts.size(), c.listed);
  }
}

TEST(ReceiptLog, IncompleteLastLineIsReportedAndNotBuiltUpon) {
  ScratchFile file("incomplete");
  AppendThree(file);
  const std::string whole = file.Read();
  for (const std::size_t cut : {std::size_t{1}, whole.size() / 6}) {
    SCOPED_TRACE(cut);
    file.Write(whole.substr(0, whole.size() - cut));
    const ReceiptLogCheck check = VerifyReceipts(file.Path());
    EXPECT_EQ(check.state, ReceiptLogState::Broken);
    EXPECT_EQ(check.badLine, 3u) << check.problem;
    std::string error;
    EXPECT_FALSE(AppendReceipt(file.Path(), SampleReceipt("127.0.0.9", 1), error));
    EXPECT_NE(error.find("incomplete"), std::string::npos) << error;
    EXPECT_EQ(file.Read(), whole.substr(0, whole.size() - cut));
  }
  const ReceiptLogCheck missing = VerifyReceipts(file.Path() + ".absent");
  EXPECT_EQ(missing.state, ReceiptLogState::Unreadable);
}

TEST(ReceiptLog, LinesOfTheWrongFormAreNamed) {
  const std::string good = ReceiptJsonLine(SampleReceipt("127.0.0.1", 7));
  const auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string line = good;
    return line.replace(line.find(from), from.size(), to);
  };
  const std::vector<std::pair<std::string, std::string>> cases = {
      {replaced("\"unit\":", "\"site\":"), "\"unit\""},
      {replaced("\"total_ms\":7", "\"total_ms\":\"7\""), "\"total_ms\""},
      {replaced("\"exchanges\":1,", "\"exchanges\":-1,"), "\"stages[0].exchanges\""},
      {replaced("\"exit_code\":0", "\"exit_code\":false"), "\"outcome.exit_code\""},
      {replaced("\"application_sha256\":\"a", "\"application_sha256\":\"A"),
       "\"application_sha256\""},
      {replaced("2024-05-01T09:30:12.345Z", "yesterday"), "\"time\""},
      {replaced("\"running_confirmation\":null", "\"running_confirmation\":1"),
       "\"running_confirmation\""},
      {"[]", "not a JSON object"},
      {good.substr(0, good.size() - 1), "not valid JSON"},
  };
  for (const auto& [line, named] : cases) {
    SCOPED_TRACE(line);
    ScratchFile file("form");
    file.Write(line + "\n");
    const ReceiptLogCheck check = VerifyReceipts(file.Path());
    EXPECT_EQ(check.badLine, 1u);
    EXPECT_NE(check.problem.find(named), std::string::npos) << check.problem;
  }
}

TEST(ReceiptLog, ConcurrentAppendsKeepOneChain) {
  ScratchFile file("concurrent");
  constexpr int kThreads = 6;
  constexpr int kEach = 15;
  std::vector<std::string> errors(kThreads);
  {
    std::vector<std::jthread> writers;
    for (int t = 0; t < kThreads; ++t) {
      writers.emplace_back([&file, &errors, t] {
        for (int i = 0; i < kEach; ++i) {
          const std::string unit = "127.0." + std::to_string(t) + "." + std::to_string(i);
          if (!AppendReceipt(file.Path(), SampleReceipt(unit, 1), errors[t])) return;
        }
      });
    }
  }
  for (const std::string& error : errors) EXPECT_EQ(error, "");
  const ReceiptLogCheck check = VerifyReceipts(file.Path());
  ASSERT_EQ(check.state, ReceiptLogState::Valid) << check.problem;
  std::set<std::string> units;
  for (const Receipt& receipt : check.receipts) units.insert(receipt.unit);
  EXPECT_EQ(units.size(), std::size_t{kThreads * kEach});
}

TEST(ReceiptLog, TargetsThatCannotTakeAReceiptAreRefusedBeforehand) {
  using namespace std::chrono_literals;
  struct Case {
    const char* name;
    std::function<std::string(const ScratchFile&)> prepare;  // the target's path
    const char* named;                                         // in the refusal; "" accepted
  };
  const std::vector<Case> cases = {
      {"missing: created", [](const ScratchFile& f) { return f.Path(); }, ""},
      {"a chain that holds", [](const ScratchFile& f) { AppendThree(f); return f.Path(); }, ""},
      {"no such folder", [](const ScratchFile& f) { return f.Path() + ".d/receipts.jsonl"; },
       "does not exist"},
      {"a folder", [](const ScratchFile& f) {
         std::filesystem::create_directory(f.Path());
         return f.Path();
       }, "not a regular file"},
      {"an incomplete last line", [](const ScratchFile& f) {
         AppendThree(f);
         f.Write(f.Read() + "{\"time\"");
         return f.Path();
       }, "line 4: incomplete"},
      {"a broken chain", [](const ScratchFile& f) {
         AppendThree(f);
         f.Write(f.Lines()[1] + "\n");
         return f.Path();
       }, "line 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFile file("target");
    const std::string path = c.prepare(file);
    const auto refused = CheckReceiptTarget(path, {}, std::chrono::steady_clock::now() + 5s);
    if (*c.named == '\0') {
      EXPECT_FALSE(refused) << *refused;
      EXPECT_TRUE(std::filesystem::is_regular_file(path));
    } else {
      ASSERT_TRUE(refused);
      EXPECT_NE(refused->find(path), std::string::npos) << *refused;
      EXPECT_NE(refused->find(c.named), std::string::npos) << *refused;
    }
    std::filesystem::remove(path);
  }
}

TEST(ReceiptLog, TheLockWaitEndsAtItsDeadlineOrOnTheStop) {
  using namespace std::chrono_literals;
  ScratchFile file("held");
  AppendThree(file);
  std::string error;
  const auto holder = platform::LockedFile::Open(
      file.Path(), platform::FileLockMode::ExclusiveAppend, {{}, std::chrono::steady_clock::now()},
      error);
  ASSERT_TRUE(holder) << error;

  const auto late = CheckReceiptTarget(file.Path(), {}, std::chrono::steady_clock::now() + 200ms);
  ASSERT_TRUE(late);
  EXPECT_NE(late->find("held the file's lock too long"), std::string::npos) << *late;
  EXPECT_FALSE(AppendReceipt(file.Path(), SampleReceipt("127.0.0.9", 1), error, {}, 200ms));

  std::stop_source stop;
  std::jthread interrupt([&stop] {
    std::this_thread::sleep_for(100ms);
    stop.request_stop();
  });
  const auto started = std::chrono::steady_clock::now();
  const auto stopped =
      CheckReceiptTarget(file.Path(), stop.get_token(), std::chrono::steady_clock::now() + 60s);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  ASSERT_TRUE(stopped);
  EXPECT_NE(stopped->find("interrupted"), std::string::npos) << *stopped;
  EXPECT_EQ(file.Lines().size(), 3u);
}

}  // namespace
}  // namespace tessaline::receipts
