// EnterBootloadSequence against a scripted transport, and the version queue (no unit needed).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "discovery/test_doubles.h"
#include "discovery/text_protocol.h"
#include "discovery/version_worker.h"
#include "platform/clock.h"
#include "platform/sockets.h"
#include "support/manual_clock.h"
#include "support/recording_listeners.h"

namespace tessaline {
namespace {

using testing::ManualClock;
using testing::ScriptedTransport;
using testing::TextReplies;

struct SequenceCase {
  const char* name;
  std::string pinReply;
  std::string enableReply;
  std::string finalReply;
  std::vector<std::string> commandsSent;
  bool entered;
};

TEST(EnterBootloadSequence, StopsAtTheFirstRefusalAndWaitsOnlyAfterSuccess) {
  const std::vector<SequenceCase> cases = {
      {"accepted, bootload was off",
       "<sy,bu = ud/>",
       "<sy,be = ue/>",
       "<sy,br/>",
       {"<SY,BU1234/>", "<SY,BE/>", "<SY,BR/>"},
       true},
      {"accepted, bootload was on",
       "<sy,bu = ue/>",
       "<sy,be = ue/>",
       "<sy,br/>",
       {"<SY,BU1234/>", "<SY,BE/>", "<SY,BR/>"},
       true},
      {"wrong PIN", "<sy,bu = xx/>", "<sy,be = ue/>", "<sy,br/>", {"<SY,BU1234/>"}, false},
      {"PIN reply with an added blank",
       "<sy,bu =  ud/>",
       "<sy,be = ue/>",
       "<sy,br/>",
       {"<SY,BU1234/>"},
       false},
      {"silent on the PIN", "", "<sy,be = ue/>", "<sy,br/>", {"<SY,BU1234/>"}, false},
      {"enable refused",
       "<sy,bu = ud/>",
       "<sy,be = ud/>",
       "<sy,br/>",
       {"<SY,BU1234/>", "<SY,BE/>"},
       false},
      {"final refused",
       "<sy,bu = ud/>",
       "<sy,be = ue/>",
       "<sy,br />",
       {"<SY,BU1234/>", "<SY,BE/>", "<SY,BR/>"},
       false},
  };
  for (const auto& c : cases) {
    ScriptedTransport port(platform::SystemClock(), kKindCom, 0);
    TextReplies unit(port);
    if (!c.pinReply.empty()) unit.Script("<SY,BU1234/>", c.pinReply);
    unit.Script("<SY,BE/>", c.enableReply);
    unit.Script("<SY,BR/>", c.finalReply);
    ManualClock clock;
    // The outcome is told before the wait, while the text port is still open.
    std::vector<std::pair<EnterBootloadOutcome, std::size_t>> told;
    const auto announce = [&](EnterBootloadOutcome o) {
      EXPECT_TRUE(port.IsOpen()) << c.name;
      told.emplace_back(o, clock.Sleeps().size());
    };
    const auto expected = c.entered ? EnterBootloadOutcome::Entered : EnterBootloadOutcome::Refused;

    EXPECT_EQ(EnterBootloadSequence(port, "1234", announce, clock), expected) << c.name;
    EXPECT_EQ(unit.Commands(), c.commandsSent) << c.name;
    EXPECT_EQ(told, (std::vector<std::pair<EnterBootloadOutcome, std::size_t>>{{expected, 0}}))
        << c.name;
    EXPECT_EQ(clock.Sleeps(),
              c.entered ? std::vector<std::uint32_t>{5000} : std::vector<std::uint32_t>{})
        << c.name;
  }
}

TEST(EnterBootloadSequence, EndsEachCommandWithCrLfOnANetworkPort) {
  ScriptedTransport port(platform::SystemClock(), kKindTcp, 0);
  TextReplies unit(port);
  unit.Script("<SY,BU0042/>", "<sy,bu = ud/>");
  unit.Script("<SY,BE/>", "<sy,be = ue/>");
  unit.Script("<SY,BR/>", "junk before <sy,br/> junk after");
  ManualClock clock;
  EXPECT_EQ(EnterBootloadSequence(port, "0042", {}, clock), EnterBootloadOutcome::Entered);
  EXPECT_EQ(unit.Commands().size(), 3u);
}

// Serves the queue's requests by noting their units; the first one served can be held.
class ServedRequests {
 public:
  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    changed_.notify_all();
  }
  bool WaitUntilServing(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return !served_.empty(); });
  }
  bool WaitForCount(std::size_t count, std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return served_.size() >= count; });
  }
  std::vector<std::string> Served() {
    std::lock_guard lock(mutex_);
    return served_;
  }
  VersionQueue::Runner Runner() {
    return [this](const VersionRequest& request) {
      std::unique_lock lock(mutex_);
      served_.push_back(request.unit.Label());
      changed_.notify_all();
      changed_.wait(lock, [&] { return !held_; });
    };
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> served_;
  bool held_ = false;
};

// A request for 127.0.0.<host>.
VersionRequest Request(int host, std::shared_ptr<VersionListener> listener) {
  return {
      UnitAddress::Network(platform::Ipv4FromOctets(127, 0, 0, static_cast<std::uint8_t>(host))), 0,
      std::move(listener)};
}

TEST(VersionQueue, ServesOnlyTheNewestOfTheRequestsQueuedDuringAQuery) {
  ServedRequests served;
  VersionQueue queue(served.Runner());
  queue.StartVersionWorker();

  served.Hold();
  queue.SubmitVersionQuery(Request(1, std::make_shared<testing::RecordingVersionListener>()));
  ASSERT_TRUE(served.WaitUntilServing(5000)) << "the worker never took the first request";

  std::vector<std::shared_ptr<testing::RecordingVersionListener>> listeners;
  for (int host : {2, 3, 4}) {
    listeners.push_back(std::make_shared<testing::RecordingVersionListener>());
    queue.SubmitVersionQuery(Request(host, listeners.back()));
  }
  EXPECT_EQ(queue.Pending(), 3u);
  served.Release();

  ASSERT_TRUE(served.WaitForCount(2, 5000));
  queue.StopVersionWorker();
  EXPECT_FALSE(queue.WorkerRunning());
  EXPECT_EQ(served.Served(), (std::vector<std::string>{"127.0.0.1", "127.0.0.4"}));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(listeners[i].use_count(), 1) << "request " << i << " was kept";
  }
}

TEST(VersionQueue, DropsRequestsUnservedWithoutARunningWorker) {
  ServedRequests served;
  VersionQueue queue(served.Runner());
  auto early = std::make_shared<testing::RecordingVersionListener>();
  queue.SubmitVersionQuery(Request(1, early));
  EXPECT_EQ(early.use_count(), 1);

  queue.StartVersionWorker();
  served.Hold();
  queue.SubmitVersionQuery(Request(2, std::make_shared<testing::RecordingVersionListener>()));
  ASSERT_TRUE(served.WaitUntilServing(5000));
  auto waiting = std::make_shared<testing::RecordingVersionListener>();
  queue.SubmitVersionQuery(Request(3, waiting));
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    served.Release();
  });
  queue.StopVersionWorker();  // the query in progress finishes; the waiting one is dropped
  releaser.join();
  EXPECT_EQ(waiting.use_count(), 1);
  EXPECT_EQ(queue.Pending(), 0u);

  auto late = std::make_shared<testing::RecordingVersionListener>();
  queue.SubmitVersionQuery(Request(4, late));
  EXPECT_EQ(late.use_count(), 1);
  EXPECT_EQ(served.Served(), std::vector<std::string>{"127.0.0.2"});
}

TEST(AutoResetEvent, OneSignalWakesOneWaitOnce) {
  AutoResetEvent event;
  EXPECT_FALSE(event.Wait(10));
  event.Signal();
  event.Signal();
  EXPECT_TRUE(event.Wait(10));
  EXPECT_FALSE(event.Wait(10));
  event.Signal();
  event.Reset();
  EXPECT_FALSE(event.Wait(10));
}

}  // namespace
}  // namespace tessaline
