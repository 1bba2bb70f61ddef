// Runs tessaline-update (TESSALINE_CLI_PATH, set by the test's build) as a child process and
// collects its exit code and output.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace tessaline::testing {

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::vector<std::string> OutLines() const {
    std::vector<std::string> lines;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
  }
};

// Sees each line of stdout as it comes, with the program's process id.
using CliLineWatcher = std::function<void(const std::string& line, pid_t pid)>;

// Runs the program to its end with `arguments` (a shell's words: a test may add "& ..."), stdin
// empty. `prefix` goes before the program ("ip netns exec NAME "); the shell execs into it, so
// `onLine` gets the program's own process id.
inline CliRun RunCli(const std::string& arguments, const std::string& prefix = "",
                     const CliLineWatcher& onLine = {}) {
  const std::string errPath =
      ::testing::TempDir() + "tessaline-cli-stderr-" + std::to_string(::getpid()) + ".txt";
  const std::string command = "echo $$; exec " + prefix + std::string(TESSALINE_CLI_PATH) + " " +
                              arguments + " 2>" + errPath + " </dev/null";
  CliRun run;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  const pid_t pid = std::fgets(buffer, sizeof buffer, pipe) ? std::atoi(buffer) : -1;
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    run.out += buffer;
    if (onLine) onLine(buffer, pid);
  }
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errPath);
  run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  err.close();
  std::remove(errPath.c_str());
  return run;
}

}  // namespace tessaline::testing
