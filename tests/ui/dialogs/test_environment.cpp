// Start-up of the test process as the program does it: strings and the socket library.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>

#include "platform/message_box.h"
#include "platform/sockets.h"
#include "ui/ui_text.h"

namespace {

class DialogsEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    sockets_ = std::make_unique<tessaline::platform::SocketLibrary>();
    tessaline::LoadUiStrings(GetModuleHandleW(nullptr));
    // Boxes of the test thread are real (the tests catch and answer them); a worker's box would
    // wait for a user forever, so it is reported and answered here instead.
    const DWORD testThread = GetCurrentThreadId();
    tessaline::platform::SetMessageBoxHandler(
        [testThread](const tessaline::platform::MessageBoxRequest& box) {
          if (GetCurrentThreadId() == testThread)
            return tessaline::platform::PlatformMessageBox(box);
          std::fprintf(stderr, "worker message box: %s: %s\n", box.caption.c_str(),
                       box.text.c_str());
          ADD_FAILURE() << "a worker showed a message box: " << box.text;
          return tessaline::platform::MessageBoxResult::Ok;
        });
  }
  void TearDown() override {
    tessaline::platform::SetMessageBoxHandler({});
    sockets_.reset();
  }

 private:
  std::unique_ptr<tessaline::platform::SocketLibrary> sockets_;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new DialogsEnvironment);

}  // namespace
