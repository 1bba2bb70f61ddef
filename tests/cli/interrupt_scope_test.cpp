// Ctrl+C during a job stops the job through its stop token, a hang-up only keeps new units from
// starting, a second Ctrl+C ends the program at once; outside a job the signals end the program as
// usual. Each case runs in a child process, so a signal that ends one ends only that child.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

// Runs `body` in a child whose scope notices go to a pipe; the child's status and what it told.
std::pair<int, std::string> ChildTelling(
    const std::function<int(std::function<void(std::string_view)>)>& body) {
  int ends[2];
  if (pipe(ends) != 0) return {-1, ""};
  const int status = ChildStatus([&] {
    close(ends[0]);
    return body([&](std::string_view text) {
      if (write(ends[1], text.data(), text.size()) < 0) _exit(3);
    });
  });
  close(ends[1]);
  std::string told;
  char buffer[512];
  for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) told.append(buffer, n);
  close(ends[0]);
  return {status, told};
}

TEST(InterruptScope, AHangUpStartsNothingNewAndASecondInterruptEndsAtOnce) {
  const struct {
    const char* name;
    std::vector<int> signals;
    int exitCode;      // of the child
    const char* told;  // a fragment of the notice
  } cases[] = {
      // 0: only new units held back; 1: running jobs stopped too.
      {"hang-up", {SIGHUP}, 0, "no other unit starts"},
      {"interrupt", {SIGINT}, 1, "Press Ctrl+C again to end at once."},
      {"hang-up then interrupt", {SIGHUP, SIGTERM}, 1, "Press Ctrl+C again"},
      {"two interrupts",
       {SIGINT, SIGINT},
       130,
       "127.0.0.9: ended at once while writing the flash data: the unit stays in bootload mode"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [status, told] = ChildTelling([&](std::function<void(std::string_view)> tell) {
      InterruptScope scope(std::move(tell));
      JobObserver quiet;
      StageNoting noting(scope.Stages(), "127.0.0.9", quiet);
      noting.StageBegan(Stage::FlashData, 100);
      const std::stop_token noNew = scope.NoNewUnits();
      for (const int signal : c.signals) {
        kill(getpid(), signal);
        for (int waited = 0; waited < 500 && !noNew.stop_requested(); ++waited)
          std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(50ms);
      }
      if (!noNew.stop_requested()) return 2;
      return scope.Token().stop_requested() ? 1 : (scope.HungUp() ? 0 : 4);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.exitCode) << "status " << status;
    EXPECT_NE(told.find(c.told), std::string::npos) << told;
  }
}

}  // namespace
}  // namespace tessaline::cli
