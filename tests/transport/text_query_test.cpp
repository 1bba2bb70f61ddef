// TextQuery: drain, reply collection, reply limit, network line ends and the time-out deadline.
#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"
#include "support/manual_clock.h"
#include "support/scripted_transport.h"

namespace tessaline {
namespace {

using testing::ScriptedTransport;
using Chunks = std::vector<std::vector<std::uint8_t>>;

// A text port on real time (TextQuery keeps its own deadline): a read that finds nothing waits
// 5 ms, one that brings bytes returns at once.
ScriptedTransport TextPort(std::string_view kind) {
  return ScriptedTransport(platform::SystemClock(), kind, 5, 0);
}

Chunks Pieces(const std::vector<std::string>& texts) {
  Chunks chunks;
  for (const auto& text : texts) chunks.push_back(testing::TextBytes(text));
  return chunks;
}

TEST(TextQuery, CollectsAReplySpreadOverReadsAndDropsWhatPrecedesIt) {
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    std::string expected;
  };
  const Case cases[] = {
      {"one piece", {"<BQ,E/>"}, "<BQ,E/>"},
      {"split", {"<B", "Q,", "E/>"}, "<BQ,E/>"},
      {"noise first", {"\r\n?? ", "x<BQ,D/>"}, "<BQ,D/>"},
      {"second < is copied", {"<a<b>"}, "<a<b>"},
      {"bytes after > dropped", {"<OK>trailing"}, "<OK>"},
      {"silence between pieces", {"", "", "<O", "", "K>"}, "<OK>"},
  };
  for (const Case& c : cases) {
    ScriptedTransport transport = TextPort(kKindCom);
    transport.AnswerWrite(1, Pieces(c.pieces));
    std::string reply;
    EXPECT_TRUE(transport.TextQuery("<SY,BQ/>", reply, 16, 1000)) << c.name;
    EXPECT_EQ(reply, c.expected) << c.name;
  }
}

TEST(TextQuery, DiscardsInputWaitingBeforeTheCommand) {
  ScriptedTransport transport = TextPort(kKindCom);
  transport.incoming = {testing::TextBytes("<STALE>"), testing::TextBytes("<OLD>")};
  transport.AnswerWrite(1, Pieces({"<NEW>"}));
  std::string reply;
  testing::ManualClock clock;
  EXPECT_TRUE(transport.TextQuery("<SY,BQ/>", reply, 16, 1000, clock));
  EXPECT_EQ(reply, "<NEW>");
  EXPECT_EQ(transport.ReadsBeforeFirstWrite(), 3u) << "two reads with data, one empty";
  EXPECT_EQ(transport.reads.front().capacity, 128u);
  // Each read that found data is followed by a 200 ms pause; the first read after the command
  // waits 10 ms for the unit to start answering.
  EXPECT_EQ(clock.Sleeps(), (std::vector<std::uint32_t>{200, 200, 10}));
}

TEST(TextQuery, StopsAtTheReplyLimitWithoutClosingBracket) {
  ScriptedTransport transport = TextPort(kKindCom);
  transport.AnswerWrite(1, Pieces({"junk<0123456789ABCDEFGHIJ>"}));
  std::string reply;
  EXPECT_FALSE(transport.TextQuery("<SY,BQ/>", reply, 16, 1000));
  EXPECT_EQ(reply, "<0123456789ABCDE");
  EXPECT_EQ(reply.size(), 16u);
  EXPECT_EQ(reply.c_str()[16], '\0');
}

TEST(TextQuery, AsksNoMoreThanTheRemainingLimit) {
  ScriptedTransport transport = TextPort(kKindCom);
  transport.AnswerWrite(1, Pieces({"<0123", "456789>"}));
  std::string reply;
  EXPECT_TRUE(transport.TextQuery("<SY,BQ/>", reply, 32, 1000));
  // After the drain read (128): 32 = min(32, 128), then 32 - 5.
  ASSERT_GE(transport.reads.size(), 3u);
  EXPECT_EQ(transport.reads[1].capacity, 32u);
  EXPECT_EQ(transport.reads[2].capacity, 27u);
}

TEST(TextQuery, AFailedCommandWriteEndsTheQuery) {
  ScriptedTransport transport = TextPort(kKindTcp);
  transport.writeSucceeds = false;
  transport.AnswerWrite(1, Pieces({"<OK>"}));
  std::string reply;
  EXPECT_FALSE(transport.TextQuery("<SY,BQ/>", reply, 16, 1000));
  EXPECT_EQ(transport.writes.size(), 1u) << "no line end after a failed write";
  EXPECT_TRUE(reply.empty());
}

TEST(TextQuery, NetworkKindsAddCrLfAndWaitFiveTimesLonger) {
  struct Case {
    std::string_view kind;
    bool network;
  };
  const Case cases[] = {{kKindCom, false}, {kKindIp, true}, {kKindTcp, true}};
  constexpr std::uint32_t kTimeoutMs = 100;
  for (const Case& c : cases) {
    ScriptedTransport transport = TextPort(c.kind);
    std::string reply;
    const std::uint32_t start = platform::TickCount();
    EXPECT_FALSE(transport.TextQuery("<SY,BE/>", reply, 16, kTimeoutMs));
    const std::uint32_t waited = platform::TicksBetween(start, platform::TickCount());

    std::vector<std::string> expected{"<SY,BE/>"};
    if (c.network) expected.push_back("\r\n");
    EXPECT_EQ(transport.WrittenText(), expected) << c.kind;
    if (c.network) {
      EXPECT_GE(waited, 5 * kTimeoutMs) << c.kind;
    } else {
      EXPECT_GE(waited, kTimeoutMs) << c.kind;
      EXPECT_LT(waited, 4 * kTimeoutMs) << c.kind;
    }
  }
}

// The budget runs to start + time-out: a reply that comes late in the window is still taken.
TEST(TextQuery, WaitsUntilTheDeadlineNotLess) {
  ScriptedTransport transport = TextPort(kKindCom);
  transport.readWaitMs = 20;
  // About 160 ms after the command.
  transport.AnswerWrite(1, Pieces({"", "", "", "", "", "", "", "<LATE>"}));
  std::string reply;
  EXPECT_TRUE(transport.TextQuery("<SY,BQ/>", reply, 16, 400));
  EXPECT_EQ(reply, "<LATE>");
}

}  // namespace
}  // namespace tessaline
