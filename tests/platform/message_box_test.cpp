// Message boxes reach the installed handler unchanged, and handlers can be swapped and restored.
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessaline::platform {
namespace {

TEST(MessageBox, InstalledHandlerReceivesTheRequestAndAnswers) {
  std::vector<MessageBoxRequest> seen;
  const MessageBoxHandler previous = SetMessageBoxHandler([&](const MessageBoxRequest& request) {
    seen.push_back(request);
    return MessageBoxResult::No;
  });

  MessageBoxRequest request;
  request.text =
      "Gr\xC3\xBC\xC3\x9F"
      "e";  // UTF-8 passes through untouched
  request.caption = "Socket Error";
  request.icon = MessageBoxIcon::Error;
  request.buttons = MessageBoxButtons::YesNo;
  EXPECT_EQ(ShowMessageBox(request), MessageBoxResult::No);

  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, request.text);
  EXPECT_EQ(seen[0].caption, "Socket Error");
  EXPECT_EQ(seen[0].icon, MessageBoxIcon::Error);
  EXPECT_EQ(seen[0].buttons, MessageBoxButtons::YesNo);
  EXPECT_EQ(seen[0].owner, nullptr);

  // Swapping hands back the handler that was installed, which still records.
  const MessageBoxHandler mine = SetMessageBoxHandler(previous);
  ASSERT_TRUE(mine);
  mine(request);
  EXPECT_EQ(seen.size(), 2u);
}

TEST(MessageBox, LaterHandlerReplacesEarlierOne) {
  int first = 0;
  int second = 0;
  const MessageBoxHandler original = SetMessageBoxHandler([&](const MessageBoxRequest&) {
    ++first;
    return MessageBoxResult::Ok;
  });
  SetMessageBoxHandler([&](const MessageBoxRequest&) {
    ++second;
    return MessageBoxResult::Cancel;
  });
  EXPECT_EQ(ShowMessageBox({}), MessageBoxResult::Cancel);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  SetMessageBoxHandler(original);
}

}  // namespace
}  // namespace tessaline::platform
