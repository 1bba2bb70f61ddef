// tessaline-update receipts: the table and exit 0 for a chain that holds, the documented exit
// code naming the first bad line otherwise, and --json.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "receipt_test_support.h"
#include "receipts/receipt_log.h"
#include "support/cli_program.h"

namespace tessaline::receipts {
namespace {

tessaline::testing::CliRun RunReceipts(const std::string& arguments) {
  return tessaline::testing::RunCli("receipts " + arguments);
}

TEST(ReceiptsCommand, TableJsonAndTheFirstBadLine) {
  testing::ScratchFile file("command");
  for (const char* unit : {"127.0.0.2", "127.0.0.3", "/dev/ttyUSB0"}) {
    std::string error;
    ASSERT_TRUE(AppendReceipt(file.Path(), testing::SampleReceipt(unit, 10), error)) << error;
  }
  const tessaline::testing::CliRun table = RunReceipts(file.Path());
  EXPECT_EQ(table.exitCode, 0) << table.err;
  EXPECT_NE(table.out.find("TIME"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("/dev/ttyUSB0  1.1     1.2    succeeded (0)"), std::string::npos)
      << table.out;

  const tessaline::testing::CliRun json = RunReceipts("--json " + file.Path());
  EXPECT_EQ(json.exitCode, 0) << json.err;
  EXPECT_EQ(json.out.front(), '[');
  EXPECT_NE(json.out.find("\"unit\": \"/dev/ttyUSB0\""), std::string::npos) << json.out;

  auto lines = file.Lines();
  file.Write(lines[0] + "\n" + lines[2] + "\n");
  const tessaline::testing::CliRun broken = RunReceipts(file.Path());
  EXPECT_EQ(broken.exitCode, 8);
  EXPECT_NE(broken.err.find("line 2:"), std::string::npos) << broken.err;

  EXPECT_EQ(RunReceipts(file.Path() + ".absent").exitCode, 5);
  EXPECT_EQ(RunReceipts("").exitCode, 64);
}

TEST(ReceiptsCommand, ReadsPipesToTheirEndAndNamesTheFileInEveryError) {
  testing::ScratchFile file("piped");
  std::string error;
  for (const char* unit : {"127.0.0.2", "127.0.0.3"}) {
    ASSERT_TRUE(AppendReceipt(file.Path(), testing::SampleReceipt(unit, 10), error)) << error;
  }
  const std::string fifo = file.Path() + ".fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  {
    std::jthread writer([&] { std::ofstream(fifo, std::ios::binary) << file.Read(); });
    const auto piped = RunReceipts(fifo);
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_NE(piped.out.find("2 receipt(s); the chain holds."), std::string::npos) << piped.out;
  }
  std::remove(fifo.c_str());

  const struct {
    std::string path;
    const char* why;
  } unreadable[] = {
      {::testing::TempDir(), "Is a directory"},
      {"/dev/zero", "64 MiB"},
  };
  for (const auto& c : unreadable) {
    const auto run = RunReceipts(c.path);
    EXPECT_EQ(run.exitCode, 5) << c.path;
    EXPECT_NE(run.err.find(c.path), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace tessaline::receipts
