// tessaline-update receipts: the table and exit 0 for a chain that holds, the documented exit
// code naming the first bad line otherwise, and --json.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "receipt_test_support.h"
#include "receipts/receipt_log.h"

namespace tessaline::receipts {
namespace {

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

CliRun RunReceipts(const std::string& arguments, const testing::ScratchFile& errFile) {
  const std::string command =
      std::string(TESSALINE_CLI_PATH) + " receipts " + arguments + " 2>" + errFile.Path();
  CliRun run;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    run.out.append(buffer, got);
  }
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = errFile.Read();
  return run;
}

TEST(ReceiptsCommand, TableJsonAndTheFirstBadLine) {
  testing::ScratchFile file("command");
  testing::ScratchFile errors("command-stderr");
  for (const char* unit : {"127.0.0.2", "127.0.0.3", "/dev/ttyUSB0"}) {
    std::string error;
    ASSERT_TRUE(AppendReceipt(file.Path(), testing::SampleReceipt(unit, 10), error)) << error;
  }
  const CliRun table = RunReceipts(file.Path(), errors);
  EXPECT_EQ(table.exitCode, 0) << table.err;
  EXPECT_NE(table.out.find("TIME"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("/dev/ttyUSB0  1.1     1.2    succeeded (0)"), std::string::npos)
      << table.out;

  const CliRun json = RunReceipts("--json " + file.Path(), errors);
  EXPECT_EQ(json.exitCode, 0) << json.err;
  EXPECT_EQ(json.out.front(), '[');
  EXPECT_NE(json.out.find("\"unit\": \"/dev/ttyUSB0\""), std::string::npos) << json.out;

  auto lines = file.Lines();
  file.Write(lines[0] + "\n" + lines[2] + "\n");
  const CliRun broken = RunReceipts(file.Path(), errors);
  EXPECT_EQ(broken.exitCode, 8);
  EXPECT_NE(broken.err.find("line 2:"), std::string::npos) << broken.err;

  EXPECT_EQ(RunReceipts(file.Path() + ".absent", errors).exitCode, 5);
  EXPECT_EQ(RunReceipts("", errors).exitCode, 64);
}

}  // namespace
}  // namespace tessaline::receipts
