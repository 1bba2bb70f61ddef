// The exchange engine's rules, driven by a scripted transport and a fake clock.
#include "link/bootloader_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "link/crc16.h"
#include "support/manual_clock.h"
#include "support/scripted_transport.h"

namespace tessaline {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ManualClock;
using testing::ScriptedTransport;
using testing::WrittenFrame;

constexpr std::uint32_t kSerialWaitMs = 200;
constexpr std::uint32_t kUdpWaitMs = 10;
constexpr std::uint32_t kTcpWaitMs = 100;

Bytes ReplyFrame(std::uint8_t command, std::optional<std::uint32_t> sequence, const Bytes& data) {
  Bytes packet{command};
  if (sequence) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      packet.push_back(static_cast<std::uint8_t>(*sequence >> shift));
    }
  }
  packet.insert(packet.end(), data.begin(), data.end());
  AppendCrc(packet);
  Bytes frame;
  FrameBytes(packet, frame);
  return frame;
}

Bytes ReplyOf(const BootloaderLink& link) {
  return Bytes(link.GetReply(), link.GetReply() + link.GetReplyLength());
}

// A link over its own scripted transport and fake clock.
struct Rig {
  explicit Rig(const char* kind = "IP", std::uint32_t readWaitMs = kUdpWaitMs,
               std::uint32_t startTick = 1000)
      : clock(startTick), link(clock) {
    auto owned = std::make_unique<ScriptedTransport>(clock, kind, readWaitMs);
    transport = owned.get();
    link.SetTransport(std::move(owned));
  }
  ManualClock clock;
  BootloaderLink link;
  ScriptedTransport* transport;
};

TEST(BootloaderLink, ExchangesTheWorkedExamplesAndPresentsTheShortForm) {
  Rig rig;
  rig.transport->AnswerWrite(1, {ReplyFrame(0x01, std::nullopt, {0x04, 0x00})});
  ASSERT_TRUE(rig.link.Exchange(0x01, nullptr, 0, 5, 1000));
  EXPECT_EQ(rig.transport->writes[0].bytes, (Bytes{0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04}));
  Bytes plain{0x01, 0x04, 0x00};
  AppendCrc(plain);
  EXPECT_EQ(ReplyOf(rig.link), plain) << "a plain reply is presented as received";

  rig.transport->AnswerWrite(
      2, {{0x01, 0x81, 0x00, 0x00, 0x00, 0x10, 0x01, 0x10, 0x01, 0x90, 0xB2, 0x04}});
  ASSERT_TRUE(rig.link.Exchange(0x81, nullptr, 0, 5, 1000));
  EXPECT_EQ(rig.transport->writes[1].bytes,
            (Bytes{0x01, 0x81, 0x00, 0x00, 0x00, 0x10, 0x01, 0xA0, 0x98, 0x04}));
  EXPECT_EQ(ReplyOf(rig.link), (Bytes{0x01, 0x01, 0x10, 0x23}));

  const Bytes chunk(72, 0x5A);
  rig.transport->AnswerWrite(3, {ReplyFrame(0x86, 2, {0x01, 0x02})});
  ASSERT_TRUE(rig.link.Exchange(0x86, chunk.data(), 72, 5, 1000));
  Bytes expected{0x06, 0x01, 0x02};
  AppendCrc(expected);
  EXPECT_EQ(ReplyOf(rig.link), expected);
  EXPECT_EQ(rig.link.GetReplyLength(), 5);
}

TEST(BootloaderLink, FollowsTheSendSchedule) {
  struct Case {
    const char* kind;
    std::uint32_t readWaitMs;
    std::uint8_t command;
    std::uint16_t sends;
    std::uint16_t timeoutMs;
    std::uint32_t startTick;
    std::size_t writes;
    std::uint32_t attemptMs;  // 0: one-send command, given up after two reads
  };
  const Case cases[] = {
      {"COM", kSerialWaitMs, 0x09, 5, 1000, 1000, 5, 5000},
      {"IP", kUdpWaitMs, 0x09, 5, 1000, 1000, 5, 1000},
      {"TCP", kTcpWaitMs, 0x89, 5, 1000, 1000, 5, 1000},
      {"COM", kSerialWaitMs, 0x05, 2, 10000, 1000, 2, 50000},
      {"IP", kUdpWaitMs, 0x02, 3, 1000, 0xFFFFFFFFu - 1500, 3, 1000},  // tick count wraps
      {"COM", kSerialWaitMs, 0x04, 1, 1000, 1000, 1, 0},
      {"IP", kUdpWaitMs, 0x84, 1, 1000, 1000, 1, 0},
      {"TCP", kTcpWaitMs, 0x04, 5, 1000, 1000, 1, 0},
      {"COM", kSerialWaitMs, 0x0B, 5, 1000, 1000, 1, 0},
      {"IP", kUdpWaitMs, 0x8B, 5, 1000, 1000, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " command " + std::to_string(c.command));
    Rig rig(c.kind, c.readWaitMs, c.startTick);
    EXPECT_FALSE(rig.link.Exchange(c.command, nullptr, 0, c.sends, c.timeoutMs));
    const auto& writes = rig.transport->writes;
    ASSERT_EQ(writes.size(), c.writes);
    if (c.attemptMs == 0) {
      EXPECT_EQ(rig.transport->reads.size(), 2u);
      continue;
    }
    for (std::size_t i = 1; i < writes.size(); ++i) {
      EXPECT_EQ(writes[i].bytes, writes[0].bytes);
      const std::uint32_t gap = writes[i].tick - writes[i - 1].tick;
      EXPECT_GT(gap, c.attemptMs) << "send " << i;
      EXPECT_LE(gap, c.attemptMs + c.readWaitMs) << "send " << i;
    }
    // After the last send the engine still waits out the attempt time-out, then reads once more.
    const std::uint32_t waited = rig.transport->reads.back().tick - writes.back().tick;
    EXPECT_GT(waited, c.attemptMs);
    EXPECT_LE(waited, c.attemptMs + 2 * c.readWaitMs);
  }
}

TEST(BootloaderLink, AcceptsAReplyToTheLastSendWithinTheAttemptTimeOut) {
  struct Case {
    const char* kind;
    std::uint32_t readWaitMs;
    std::uint32_t attemptMs;
  };
  for (const Case& c : {Case{"IP", kUdpWaitMs, 1000}, Case{"TCP", kTcpWaitMs, 1000},
                        Case{"COM", kSerialWaitMs, 5000}}) {
    Rig rig(c.kind, c.readWaitMs);
    std::vector<Bytes> reads(c.attemptMs / c.readWaitMs - 1);
    reads.push_back(ReplyFrame(0x0E, std::nullopt, {0x01}));
    rig.transport->AnswerWrite(5, reads);
    EXPECT_TRUE(rig.link.Exchange(0x0E, nullptr, 0, 5, 1000)) << c.kind;
    EXPECT_EQ(rig.transport->reads.back().tick - rig.transport->writes.back().tick, c.attemptMs);
  }
}

TEST(BootloaderLink, IgnoresFramesForAnotherRequestAndKeepsTheSchedule) {
  Bytes badCrc = ReplyFrame(0x82, 2, {0x01});
  badCrc[badCrc.size() - 2] ^= 0x20;
  struct Case {
    const char* name;
    Bytes frame;
  };
  const Case cases[] = {
      {"command without the sequenced bit", ReplyFrame(0x02, 2, {0x01})},
      {"previous sequence number", ReplyFrame(0x82, 1, {0x01})},
      {"another command", ReplyFrame(0x83, 2, {0x01})},
      {"too short to carry a number", ReplyFrame(0x82, std::nullopt, {})},
      {"bad CRC", badCrc},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.transport->AnswerWrite(1, {ReplyFrame(0x81, 1, {0x04})});
    ASSERT_TRUE(rig.link.Exchange(0x81, nullptr, 0, 5, 1000));
    rig.transport->onWrite = [&c](ScriptedTransport& t, const WrittenFrame&) {
      t.incoming.push_back(t.writes.size() == 2 ? c.frame : ReplyFrame(0x82, 2, {0x01}));
    };
    EXPECT_TRUE(rig.link.Exchange(0x82, nullptr, 0, 5, 1000)) << c.name;
    ASSERT_EQ(rig.transport->writes.size(), 3u) << c.name;
    EXPECT_GT(rig.transport->writes[2].tick - rig.transport->writes[1].tick, 1000u) << c.name;
    EXPECT_EQ(ReplyOf(rig.link)[0], 0x02) << c.name;
  }
}

TEST(BootloaderLink, RefusesWithoutSendingOrTouchingTheCounter) {
  struct Case {
    const char* name;
    std::uint8_t command;
    std::uint16_t sends;
    bool open;
  };
  const Case cases[] = {
      {"closed transport", 0x82, 5, false}, {"code 0x00", 0x00, 5, true},
      {"code 0x08", 0x08, 5, true},         {"code 0x10", 0x10, 5, true},
      {"code 0x80", 0x80, 5, true},         {"code 0xFF", 0xFF, 5, true},
      {"no sends", 0x82, 0, true},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.transport->AnswerWrite(0, {ReplyFrame(c.command, std::nullopt, {0x01})});
    rig.transport->open = c.open;
    EXPECT_FALSE(rig.link.Exchange(c.command, nullptr, 0, c.sends, 1000)) << c.name;
    EXPECT_TRUE(rig.transport->writes.empty()) << c.name;
    EXPECT_TRUE(rig.transport->reads.empty()) << c.name;
    if (c.command == 0x82) {
      EXPECT_EQ(rig.link.SequenceCounter(), 0u) << c.name;
    }
  }
}

TEST(BootloaderLink, RefusesRequestsPastTheFrameCapacity) {
  struct Case {
    const char* name;
    std::uint8_t command;
    std::size_t length;
    std::uint8_t fill;
    bool sent;
  };
  const Case cases[] = {
      {"1000 stuffed bytes fit", 0x03, 1000, kDle, true},
      {"2041 plain bytes fit", 0x03, 2041, 0x55, true},
      {"framed size passes 2048", 0x03, 2044, 0x55, false},
      {"stuffing pushes past 2048", 0x83, 1100, kSoh, false},
      {"unframed size passes 2048", 0x03, 2046, 0x55, false},
  };
  for (const Case& c : cases) {
    Rig rig;
    const Bytes data(c.length, c.fill);
    EXPECT_FALSE(
        rig.link.Exchange(c.command, data.data(), static_cast<std::uint32_t>(c.length), 1, 10));
    ASSERT_EQ(rig.transport->writes.size(), c.sent ? 1u : 0u) << c.name;
    if (c.sent) {
      EXPECT_LE(rig.transport->writes[0].bytes.size(), kFrameCapacity) << c.name;
    }
  }
}

TEST(BootloaderLink, LateReplyIsTakenByTheNextExchangeOnlyInPlainForm) {
  struct Case {
    std::uint8_t command;
    bool lateReplyTaken;
  };
  for (const Case& c : {Case{0x09, true}, Case{0x89, false}}) {
    Rig rig;
    ASSERT_FALSE(rig.link.Exchange(c.command, nullptr, 0, 2, 100));
    const Bytes data{0x04, 0x03, 0x02, 0x01};
    rig.transport->incoming.push_back(IsSequenced(c.command)
                                          ? ReplyFrame(c.command, rig.link.SequenceCounter(), data)
                                          : ReplyFrame(c.command, std::nullopt, data));
    EXPECT_EQ(rig.link.Exchange(c.command, nullptr, 0, 2, 100), c.lateReplyTaken) << int{c.command};
  }
}

TEST(BootloaderLink, ClearsALeftoverTimeOutWhenAnExchangeStarts) {
  Rig rig;
  // The reply to the one-send command comes on the read after the time-out was declared.
  rig.transport->AnswerWrite(1, {{}, ReplyFrame(0x0B, std::nullopt, {0x01})});
  ASSERT_TRUE(rig.link.Exchange(0x0B, nullptr, 0, 1, 1000));
  rig.transport->AnswerWrite(2, {{}, {}, ReplyFrame(0x09, std::nullopt, {1, 0, 0, 0})});
  EXPECT_TRUE(rig.link.Exchange(0x09, nullptr, 0, 5, 1000));
}

TEST(BootloaderLink, TransportClosingDuringTheWaitEndsTheExchange) {
  Rig rig("COM", kSerialWaitMs);
  rig.transport->onWrite = [](ScriptedTransport& t, const WrittenFrame&) { t.open = false; };
  EXPECT_FALSE(rig.link.Exchange(0x09, nullptr, 0, 5, 1000));
  EXPECT_EQ(rig.transport->reads.size(), 1u);
  EXPECT_TRUE(rig.link.TransportLost()) << "the port went away, not a silent unit";

  rig.transport->open = true;
  rig.transport->onWrite = nullptr;
  EXPECT_FALSE(rig.link.Exchange(0x09, nullptr, 0, 1, 1000));
  EXPECT_FALSE(rig.link.TransportLost()) << "a silent unit";
}

// Reads return with the first bytes to arrive, so a reply may come in pieces: its EOT ends the
// wait at once, and the last listen of a schedule is a time, not a count of reads.
TEST(BootloaderLink, AReplyInPiecesEndsOnItsEotAndTheLastListenIsATime) {
  const auto inPieces = [](const Bytes& frame) {
    std::vector<Bytes> reads;
    for (const std::uint8_t byte : frame) reads.push_back({byte});
    return reads;
  };
  std::vector<Bytes> thenNoise = inPieces(ReplyFrame(0x0B, std::nullopt, {0x01}));
  thenNoise.back().insert(thenNoise.back().end(), {0x01, 0x55});
  struct Case {
    const char* name;
    std::uint8_t command;
    std::uint16_t sends;
    std::vector<Bytes> reads;  // answering the first send, each arriving 1 ms into its read
    bool accepted;
  };
  const Case cases[] = {
      {"one-send command, reply in one-byte reads", 0x0B, 1,
       inPieces(ReplyFrame(0x0B, std::nullopt, {0x01})), true},
      {"reply followed by line noise", 0x0B, 1, thenNoise, true},
      {"five-send command, reply in one-byte reads", 0x09, 5,
       inPieces(ReplyFrame(0x09, std::nullopt, {1, 0, 0, 0})), true},
      {"noise that never ends", 0x0B, 1, std::vector<Bytes>(2000, Bytes{0x55}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig("COM", kSerialWaitMs);
    rig.transport->arrivingReadMs = 1;
    rig.transport->AnswerWrite(1, c.reads);
    EXPECT_EQ(rig.link.Exchange(c.command, nullptr, 0, c.sends, 1000), c.accepted);
    const auto& reads = rig.transport->reads;
    EXPECT_EQ(rig.transport->writes.size(), 1u);
    if (c.accepted) {
      EXPECT_EQ(reads.size(), c.reads.size()) << "no read after the one that brought the EOT";
    } else {
      EXPECT_LE(reads.back().tick - rig.transport->writes[0].tick, 2 * kSerialWaitMs + 1);
    }
  }
}

TEST(BootloaderLink, AStopRequestEndsTheWaitAfterAWholeFrameWithinOneRead) {
  for (const auto& [kind, waitMs] : {std::pair{"IP", kUdpWaitMs}, std::pair{"TCP", kTcpWaitMs},
                                     std::pair{"COM", kSerialWaitMs}}) {
    SCOPED_TRACE(kind);
    Rig rig(kind, waitMs);
    std::stop_source stop;
    rig.link.SetStop(stop.get_token());
    // The flash data erase's schedule: 50 s without the stop (250 s on serial).
    rig.transport->onWrite = [&](ScriptedTransport&, const WrittenFrame&) { stop.request_stop(); };
    EXPECT_FALSE(rig.link.Exchange(0x85, nullptr, 0, 5, 10000));
    EXPECT_TRUE(rig.link.StoppedByRequest());
    ASSERT_EQ(rig.transport->writes.size(), 1u) << "no resend after the stop";
    EXPECT_EQ(rig.transport->writes[0].bytes.back(), kEot) << "the frame went out whole";
    EXPECT_LE(rig.clock.Now() - rig.transport->writes[0].tick, waitMs);
    // A silent unit without a stop request is not "stopped".
    rig.link.SetStop({});
    EXPECT_FALSE(rig.link.Exchange(0x01, nullptr, 0, 2, 100));
    EXPECT_FALSE(rig.link.StoppedByRequest());
  }
}

TEST(BootloaderLink, SetTransportClosesAnOpenTransportBeforeDeletingIt) {
  for (const bool open : {true, false}) {
    std::vector<std::string> events;
    ManualClock clock;
    BootloaderLink link(clock);
    auto transport = std::make_unique<ScriptedTransport>(clock, "IP", kUdpWaitMs);
    transport->events = &events;
    transport->open = open;
    link.SetTransport(std::move(transport));
    link.SetTransport(nullptr);
    const std::vector<std::string> expected =
        open ? std::vector<std::string>{"close", "destroy"} : std::vector<std::string>{"destroy"};
    EXPECT_EQ(events, expected);
    EXPECT_FALSE(link.Exchange(0x01, nullptr, 0, 5, 1000)) << "no transport held";
  }
}

TEST(BootloaderLink, TracesEachFrameWrittenAndEachChunkRead) {
  Rig rig;
  const Bytes reply = ReplyFrame(0x07, std::nullopt, {0x01});
  const Bytes head(reply.begin(), reply.begin() + 3);
  const Bytes tail(reply.begin() + 3, reply.end());
  rig.transport->AnswerWrite(1, {{}, head, {}, tail});
  struct Seen {
    TraceDirection direction;
    Bytes bytes;
    std::uint32_t tick;
  };
  std::vector<Seen> seen;
  rig.link.SetTraceHook(
      [&seen](TraceDirection d, std::span<const std::uint8_t> b, std::uint32_t t) {
        seen.push_back({d, Bytes(b.begin(), b.end()), t});
      });
  ASSERT_TRUE(rig.link.Exchange(0x07, nullptr, 0, 5, 1000));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].direction, TraceDirection::Sent);
  EXPECT_EQ(seen[0].bytes, rig.transport->writes[0].bytes);
  EXPECT_EQ(seen[0].tick, 1000u);
  EXPECT_EQ(seen[1].direction, TraceDirection::Received);
  EXPECT_EQ(seen[1].bytes, head);
  EXPECT_EQ(seen[1].tick, 1000u + 2 * kUdpWaitMs);
  EXPECT_EQ(seen[2].bytes, tail);
  EXPECT_EQ(seen[2].tick, 1000u + 4 * kUdpWaitMs);
}

// Each link answers its own 0x86 chunks byte by byte, escapes split across reads, while the other
// link does the same on another thread: shared decoder state would mix the two streams.
TEST(BootloaderLink, LinksOnTwoThreadsExchangeAtTheSameTime) {
  constexpr int kExchanges = 2000;
  // Both links begin together. A spinning gate, not std::latch: this toolchain's latch can lose
  // its wake-up where there is no futex (Windows).
  std::atomic<int> arrived{0};
  const auto run = [&arrived](std::uint8_t status, int& accepted) {
    Rig rig;
    rig.transport->yieldOnRead = true;
    const BootloaderLink& link = rig.link;
    rig.transport->onWrite = [status, &link](ScriptedTransport& t, const WrittenFrame&) {
      const Bytes reply = ReplyFrame(0x86, link.SequenceCounter(), {status, kDle, kSoh, kEot});
      for (const std::uint8_t byte : reply) t.incoming.push_back({byte});
    };
    Bytes chunk(72);
    arrived.fetch_add(1);
    while (arrived.load() < 2) std::this_thread::yield();
    for (int i = 0; i < kExchanges; ++i) {
      chunk[0] = static_cast<std::uint8_t>(i);
      if (rig.link.Exchange(0x86, chunk.data(), 72, 5, 1000) && rig.link.GetReplyLength() == 7 &&
          rig.link.GetReply()[1] == status && rig.link.GetReply()[2] == kDle) {
        ++accepted;
      }
    }
  };
  int acceptedA = 0;
  int acceptedB = 0;
  std::thread a(run, std::uint8_t{0x01}, std::ref(acceptedA));
  std::thread b(run, std::uint8_t{0x10}, std::ref(acceptedB));
  a.join();
  b.join();
  EXPECT_EQ(acceptedA, kExchanges);
  EXPECT_EQ(acceptedB, kExchanges);
}

}  // namespace
}  // namespace tessaline
