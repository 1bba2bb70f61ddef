// Behaviour of the portable message targets that carry worker reports to a front end.
#include "ui/message_target.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "strings/ui_strings.h"
#include "support/message_names.h"
#include "support/queue_message_target.h"
#include "support/recording_message_target.h"
#include "ui/messages.h"

namespace tessaline {
namespace {

TEST(QueueMessageTarget, DeliversPostedMessagesInOrderWithTheirOwnText) {
  QueueMessageTarget target;
  std::string stage = "Application";
  target.Post({WM_APP_PROGRESS_TEXT, 0, 0, ProgressText(stage)});
  stage = "UI";  // the sender's buffer changes before the consumer reads the message
  target.Post({WM_APP_PROGRESS_POS, 8, 0, {}});

  auto first = target.Next(1000);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->code, WM_APP_PROGRESS_TEXT);
  EXPECT_EQ(first->text, "Progress: Application");
  auto second = target.Next(1000);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->code, WM_APP_PROGRESS_POS);
  EXPECT_EQ(second->wParam, 8u);
  EXPECT_FALSE(target.Next(10).has_value());
}

TEST(QueueMessageTarget, SendReturnsOnlyAfterTheConsumerHandledIt) {
  QueueMessageTarget target;
  std::atomic<bool> sendReturned{false};
  std::thread worker([&] {
    target.Send({WM_APP_PROGRESS_RANGE, 0, 672534, {}});
    sendReturned = true;
  });

  auto message = target.Next(2000);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->lParam, 672534u);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(sendReturned.load()) << "Send must wait until the range is set";
  target.Handled();
  worker.join();
  EXPECT_TRUE(sendReturned.load());
}

TEST(QueueMessageTarget, CloseReleasesAWaitingSendAndDropsLaterMessages) {
  QueueMessageTarget target;
  std::thread worker([&] { target.Send({WM_APP_PROGRESS_RANGE, 0, 10, {}}); });
  while (!target.Next(10).has_value()) {
  }
  target.Close();  // the consumer went away without handling it
  worker.join();   // must not hang
  target.Post({WM_APP_UPDATE_SUCCEEDED, 0, 0, {}});
  EXPECT_FALSE(target.Next(10).has_value());
}

TEST(RecordingMessageTarget, RecordsFromSeveralThreadsAndWaitsForACode) {
  RecordingMessageTarget target;
  std::thread a([&] {
    for (int i = 0; i < 100; ++i) target.Post({WM_APP_PROGRESS_POS, std::uint64_t(i), 0, {}});
  });
  std::thread b([&] { target.Send({WM_APP_UPDATE_SUCCEEDED, 0, 0, {}}); });
  EXPECT_TRUE(target.WaitFor(WM_APP_UPDATE_SUCCEEDED, 2000));
  a.join();
  b.join();
  EXPECT_EQ(target.Messages().size(), 101u);
  EXPECT_FALSE(target.WaitFor(WM_APP_NO_RESPONSE, 10));
}

TEST(UiStrings, ComeFromTheOneStringSource) {
  EXPECT_STREQ(UiString(IDS_UPDATE_SUCCEEDED), "The firmware updated successfully.");
  EXPECT_STREQ(UiString(IDS_PROGRESS_FORMAT), "Progress: %s");
  EXPECT_EQ(ProgressText("Factory Defaults"), "Progress: Factory Defaults");
  EXPECT_STREQ(MessageName(WM_APP_PROGRESS_RANGE), "WM_APP_PROGRESS_RANGE");
  EXPECT_STREQ(MessageName(0x8008), "?");
}

}  // namespace
}  // namespace tessaline
