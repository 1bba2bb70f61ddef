// Ctrl+C during a job stops the job through its stop token; outside a job it ends the program as
// usual. Each case runs in a child process, so a signal that ends one ends only that child.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
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

}  // namespace
}  // namespace tessaline::cli
