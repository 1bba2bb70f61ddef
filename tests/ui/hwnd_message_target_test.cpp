// Worker messages reach a window as WM_APP messages; progress texts are owned and never leak.
#include "ui/hwnd_message_target.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "gui_harness.h"
#include "ui/messages.h"

namespace tessaline::test {
namespace {

using std::chrono::milliseconds;

struct Received {
  UINT code;
  WPARAM wParam;
  LPARAM lParam;
  std::string text;
};
std::vector<Received> received;
HwndMessageTarget* receiver = nullptr;

// A queue with room for kQueueRoom messages, as Windows' has room for ten thousand: a post into
// it when full fails.
constexpr long kQueueRoom = 50;
std::atomic<long> queued{0};
std::atomic<long> refusedPosts{0};
BOOL WINAPI PostIntoSmallQueue(HWND window, UINT code, WPARAM wParam, LPARAM lParam) {
  if (queued.load() >= kQueueRoom) {
    ++refusedPosts;
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  ++queued;
  return PostMessageW(window, code, wParam, lParam);
}

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_APP && message <= WM_APP_PROGRESS_POS) {
    --queued;
    std::string text;
    if (message == WM_APP_PROGRESS_TEXT && receiver != nullptr) text = receiver->ClaimText(lParam);
    received.push_back({message, wParam, lParam, text});
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeReceiver() {
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ReceiverProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TessalineTestReceiver";
    return RegisterClassW(&windowClass) != 0;
  }();
  EXPECT_TRUE(registered);
  return CreateWindowW(L"TessalineTestReceiver", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                       GetModuleHandleW(nullptr), nullptr);
}

class HwndMessageTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received.clear();
    queued = 0;
    refusedPosts = 0;
    window_ = MakeReceiver();
    target_ = std::make_shared<HwndMessageTarget>(window_);
    receiver = target_.get();
  }
  void TearDown() override {
    receiver = nullptr;
    if (IsWindow(window_)) DestroyWindow(window_);
  }
  HWND window_ = nullptr;
  std::shared_ptr<HwndMessageTarget> target_;
};

TEST_F(HwndMessageTargetTest, PostedMessagesArriveInOrderWithTheirParameters) {
  std::thread worker([target = target_] {
    target->Post({WM_APP_PROGRESS_POS, 17, 0, {}});
    target->Post({WM_APP_APPLICATION_VERSION, 0, 0x00020003, {}});
    target->Post({WM_APP_PROGRESS_TEXT, 0, 0, "Progress: Application"});
    target->Post({WM_APP_PROGRESS_TEXT, 0, 0, "Progress: UI"});
  });
  worker.join();
  Pump(milliseconds(20));
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0].code, static_cast<UINT>(WM_APP_PROGRESS_POS));
  EXPECT_EQ(received[0].wParam, 17u);
  EXPECT_EQ(received[1].lParam, 0x00020003);
  // Each text is its own copy: a later text does not overwrite an earlier one still queued.
  EXPECT_EQ(received[2].text, "Progress: Application");
  EXPECT_EQ(received[3].text, "Progress: UI");
  EXPECT_EQ(target_->TextsInFlight(), 0u);
}

// A post into a full queue fails; the job's result comes last and must reach the window all the
// same, or the window never ends the job.
TEST_F(HwndMessageTargetTest, AResultAfterAFullQueueStillArrives) {
  constexpr std::uint64_t kProgressPosts = 500;
  auto target = std::make_shared<HwndMessageTarget>(window_, PostIntoSmallQueue);
  std::jthread worker([target] {
    for (std::uint64_t i = 0; i < kProgressPosts; ++i)
      target->Post({WM_APP_PROGRESS_POS, i, 0, {}});
    target->Post({WM_APP_UPDATE_SUCCEEDED, 0, 0, {}});
  });
  Sleep(200);  // the window is busy meanwhile: the queue fills
  ASSERT_TRUE(PumpUntil([] { return received.size() == kProgressPosts + 1; }, milliseconds(20000)));
  EXPECT_GT(refusedPosts.load(), 0) << "the queue never filled";
  EXPECT_EQ(received.back().code, static_cast<UINT>(WM_APP_UPDATE_SUCCEEDED));
}

TEST_F(HwndMessageTargetTest, SendReturnsAfterTheWindowHandledIt) {
  std::thread worker([target = target_] { target->Send({WM_APP_PROGRESS_RANGE, 0, 672534, {}}); });
  ASSERT_TRUE(PumpUntil([] { return !received.empty(); }, milliseconds(5000)));
  worker.join();
  EXPECT_EQ(received[0].lParam, 672534);
}

TEST_F(HwndMessageTargetTest, TextsQueuedForAWindowThatGoesAreFreed) {
  target_->Post({WM_APP_PROGRESS_TEXT, 0, 0, "never read"});
  target_->Post({WM_APP_PROGRESS_TEXT, 0, 0, "never read either"});
  EXPECT_EQ(target_->TextsInFlight(), 2u);
  DestroyWindow(window_);
  target_->Detach();
  EXPECT_EQ(target_->TextsInFlight(), 0u);
  // Later posts and sends are dropped, and nothing is delivered to a reused handle.
  target_->Post({WM_APP_PROGRESS_TEXT, 0, 0, "late"});
  target_->Send({WM_APP_PROGRESS_RANGE, 0, 1, {}});
  Pump(milliseconds(20));
  EXPECT_TRUE(received.empty());
  EXPECT_EQ(target_->TextsInFlight(), 0u);
}

TEST_F(HwndMessageTargetTest, PostingToADestroyedWindowIsANoOp) {
  DestroyWindow(window_);
  target_->Post({WM_APP_PROGRESS_TEXT, 0, 0, "to nobody"});
  target_->Post({WM_APP_UPDATE_SUCCEEDED, 0, 0, {}});
  EXPECT_EQ(target_->TextsInFlight(), 0u);
  Pump(milliseconds(20));
  EXPECT_TRUE(received.empty());
}

TEST_F(HwndMessageTargetTest, AForeignPointerIsNotTakenForAText) {
  std::string mine = "not queued by the target";
  EXPECT_EQ(target_->ClaimText(reinterpret_cast<LPARAM>(&mine)), "");
  EXPECT_EQ(mine, "not queued by the target");
}

}  // namespace
}  // namespace tessaline::test
