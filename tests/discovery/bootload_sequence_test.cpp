// EnterBootloadSequence and the version queue against scripted transports (no unit needed).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "discovery/test_doubles.h"
#include "discovery/text_protocol.h"
#include "discovery/version_worker.h"
#include "shell/messages.h"
#include "shell/ui_strings.h"

namespace tessaline {
namespace {

using testing::MessageBoxRecorder;
using testing::RecordingClock;
using testing::ScriptedTextTransport;
using testing::SilentTransport;

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
    ScriptedTextTransport port;
    if (!c.pinReply.empty()) port.Script("<SY,BU1234/>", c.pinReply);
    port.Script("<SY,BE/>", c.enableReply);
    port.Script("<SY,BR/>", c.finalReply);
    port.Open();
    MessageBoxRecorder boxes;
    RecordingClock clock;
    int owner = 0;

    EXPECT_EQ(EnterBootloadSequence(&owner, port, "1234", clock), c.entered) << c.name;
    EXPECT_EQ(port.Commands(), c.commandsSent) << c.name;
    const auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u) << c.name;
    EXPECT_EQ(shown[0].owner, &owner) << c.name;
    EXPECT_EQ(shown[0].caption, "Bootload Mode") << c.name;
    EXPECT_EQ(shown[0].text,
              c.entered ? "Bootload Mode Enabled." : "Unable to enter Bootload Mode.")
        << c.name;
    EXPECT_EQ(shown[0].icon,
              c.entered ? platform::MessageBoxIcon::Information : platform::MessageBoxIcon::Error)
        << c.name;
    EXPECT_EQ(clock.Sleeps(),
              c.entered ? std::vector<std::uint32_t>{5000} : std::vector<std::uint32_t>{})
        << c.name;
  }
}

TEST(EnterBootloadSequence, EndsEachCommandWithCrLfOnANetworkPort) {
  ScriptedTextTransport port(kKindTcp);
  port.Script("<SY,BU0042/>", "<sy,bu = ud/>");
  port.Script("<SY,BE/>", "<sy,be = ue/>");
  port.Script("<SY,BR/>", "junk before <sy,br/> junk after");
  port.Open();
  MessageBoxRecorder boxes;
  RecordingClock clock;
  EXPECT_TRUE(EnterBootloadSequence(nullptr, port, "0042", clock));
  EXPECT_EQ(port.Commands().size(), 3u);
}

TEST(TextPortSearch, SendsNothingForAnyOtherKind) {
  auto probe = std::make_shared<SilentTransport::Probe>();
  SilentTransport unit(kKindTcp, probe);
  bool ran = false;
  const auto result =
      TextPortSearch(unit, 250, [&](Transport&, const std::string&) { ran = true; });
  EXPECT_FALSE(result.answered);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(result.ratesTried.empty());
  EXPECT_FALSE(probe->opened.load()) << "the unit transport is only read";
}

std::unique_ptr<UnitRequest> Request(std::shared_ptr<MessageTarget> window,
                                     std::shared_ptr<SilentTransport::Probe> probe) {
  auto request = std::make_unique<UnitRequest>();
  request->window = std::move(window);
  request->transport = std::make_unique<SilentTransport>(kKindTcp, std::move(probe));
  return request;
}

TEST(VersionQueue, ServesOnlyTheNewestOfTheRequestsQueuedDuringAQuery) {
  VersionQueue queue;
  queue.StartVersionWorker();

  auto busyWindow = std::make_shared<RecordingMessageTarget>();
  auto busy = std::make_shared<SilentTransport::Probe>();
  busy->Hold();
  queue.SubmitVersionQuery(Request(busyWindow, busy));
  ASSERT_TRUE(busy->WaitUntilInOpen(5000)) << "the worker never took the first request";

  std::vector<std::shared_ptr<RecordingMessageTarget>> windows;
  std::vector<std::shared_ptr<SilentTransport::Probe>> probes;
  for (int i = 0; i < 3; ++i) {
    windows.push_back(std::make_shared<RecordingMessageTarget>());
    probes.push_back(std::make_shared<SilentTransport::Probe>());
    queue.SubmitVersionQuery(Request(windows.back(), probes.back()));
  }
  EXPECT_EQ(queue.Pending(), 3u);
  busy->Release();

  ASSERT_TRUE(windows[2]->WaitFor(WM_APP_VERSION_QUERY_DONE, 5000));
  // Only the first message and the end: a transport of kind "TCP" gets no text search.
  EXPECT_EQ(windows[2]->Codes(),
            (std::vector<std::uint32_t>{WM_APP_ENABLE_EXIT_BOOTLOAD, WM_APP_VERSION_QUERY_DONE}));
  EXPECT_TRUE(probes[2]->opened.load());
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(windows[i]->Codes().empty()) << "request " << i << " was served";
    EXPECT_FALSE(probes[i]->opened.load()) << "request " << i;
    EXPECT_TRUE(probes[i]->destroyed.load()) << "request " << i << " kept its transport";
  }
  EXPECT_TRUE(busy->destroyed.load());
  EXPECT_EQ(busyWindow->Codes().back(), WM_APP_VERSION_QUERY_DONE);
  queue.StopVersionWorker();
  EXPECT_FALSE(queue.WorkerRunning());
}

TEST(VersionQueue, DestroysRequestsUnservedWithoutARunningWorker) {
  VersionQueue queue;
  auto window = std::make_shared<RecordingMessageTarget>();
  auto early = std::make_shared<SilentTransport::Probe>();
  queue.SubmitVersionQuery(Request(window, early));
  EXPECT_TRUE(early->destroyed.load());

  queue.StartVersionWorker();
  auto busy = std::make_shared<SilentTransport::Probe>();
  busy->Hold();
  queue.SubmitVersionQuery(Request(window, busy));
  ASSERT_TRUE(busy->WaitUntilInOpen(5000));
  auto waiting = std::make_shared<SilentTransport::Probe>();
  queue.SubmitVersionQuery(Request(window, waiting));
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    busy->Release();
  });
  queue.StopVersionWorker();  // the query in progress finishes; the waiting one is dropped
  releaser.join();
  EXPECT_TRUE(waiting->destroyed.load());
  EXPECT_FALSE(waiting->opened.load());
  EXPECT_EQ(queue.Pending(), 0u);

  auto late = std::make_shared<SilentTransport::Probe>();
  queue.SubmitVersionQuery(Request(window, late));
  EXPECT_TRUE(late->destroyed.load());
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
