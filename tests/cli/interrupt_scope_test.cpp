// Ctrl+C during a job stops the job through its stop token, and a second one ends the program at
// once; outside a job the signals end the program as usual. Each case runs in a child process, so a signal that ends one ends only that child.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "cli/interrupt.h"

namespace tessaline::cli {
namespace {

using namespace std::chrono_literals;

// How the child running `body` ended (waitpid's status); `body` returns the child's exit code.
int ChildStatus(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

TEST(InterruptScope, ASignalStopsTheJobsInsideAScopeAndEndsTheProgramOutsideOne) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(signal));
    const int inside = ChildStatus([signal] {
      InterruptScope scope;
      const std::stop_token token = scope.Token();
      kill(getpid(), signal);
      for (int waited = 0; waited < 500 && !token.stop_requested(); ++waited)
        std::this_thread::sleep_for(10ms);
      return token.stop_requested() && scope.Interrupted() ? 0 : 1;
    });
    EXPECT_TRUE(WIFEXITED(inside) && WEXITSTATUS(inside) == 0) << "status " << inside;

    const int outside = ChildStatus([signal] {
      { InterruptScope ended; }
      kill(getpid(), signal);
      std::this_thread::sleep_for(5s);
      return 0;
    });
    EXPECT_TRUE(WIFSIGNALED(outside) && WTERMSIG(outside) == signal) << "status " << outside;
  }
}

TEST(InterruptScope, ASecondInterruptEndsTheProgramAtOnceNamingEachRunningUnitsStage) {
  int told[2];
  ASSERT_EQ(pipe(told), 0);
  const int status = ChildStatus([&] {
    InterruptScope scope([&](std::string_view text) {
      if (write(told[1], text.data(), text.size()) < 0) _exit(3);
    });
    JobObserver quiet;
    StageNoting noting(scope.Stages(), "127.0.0.9", quiet);
    noting.StageBegan(Stage::FlashData, 100);
    for (int press = 0; press < 2; ++press) {
      kill(getpid(), SIGINT);
      std::this_thread::sleep_for(500ms);  // each press is seen on its own
    }
    return 0;  // the second press never lets it get here
  });
  close(told[1]);
  std::string text(4096, '\0');
  text.resize(
      static_cast<std::size_t>(std::max<ssize_t>(read(told[0], text.data(), text.size()), 0)));
  close(told[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << "status " << status;
  EXPECT_NE(text.find("Press Ctrl+C again to end at once."), std::string::npos) << text;
  EXPECT_NE(text.find("127.0.0.9: ended at once while writing the flash data"), std::string::npos)
      << text;
}

}  // namespace
}  // namespace tessaline::cli
