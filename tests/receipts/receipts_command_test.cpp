// tessaline-update receipts and keys: the table and exit 0 for a chain that holds, the documented
// exit code naming every bad line otherwise, --key, the chain head, --json; the key file's guard.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/digest.h"
#include "receipt_test_support.h"
#include "receipts/receipt_log.h"
#include "receipts/signing_key.h"
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

TEST(ReceiptsCommand, KeyChecksEverySignatureAndNamesEveryBadLine) {
  testing::ScratchFile file("signed");
  const std::string publicKey = file.Path() + ".pem";
  const auto keys = tessaline::testing::RunCli("keys --export " + publicKey);
  ASSERT_EQ(keys.exitCode, 0) << keys.err;
  std::string error;
  const auto user = LoadOrMakeUserKey(error);  // the same key folder as the program's
  ASSERT_TRUE(user) << error;
  EXPECT_NE(keys.out.find("Fingerprint: " + Fingerprint(user->key->PublicPoint())),
            std::string::npos)
      << keys.out;
  EXPECT_EQ(keys.out.find(platform::LowerHex(user->key->PrivateScalar())), std::string::npos);
  for (const char* unit : {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}) {
    ASSERT_TRUE(AppendReceipt(file.Path(), testing::SampleReceipt(unit, 10), error, {},
                              kReceiptLockWait, user->key.get()))
        << error;
  }
  const auto good = RunReceipts(file.Path() + " --key " + publicKey);
  EXPECT_EQ(good.exitCode, 0) << good.err;
  EXPECT_NE(good.out.find("Every line is signed by the key"), std::string::npos) << good.out;
  EXPECT_NE(good.out.find("Chain head: " + platform::Sha256Hex(file.Lines().back())),
            std::string::npos)
      << good.out;
  const auto unchecked = RunReceipts(file.Path());
  EXPECT_EQ(unchecked.exitCode, 0) << unchecked.err;
  EXPECT_NE(unchecked.out.find("Authorship was not checked"), std::string::npos) << unchecked.out;

  auto lines = file.Lines();
  lines[1].replace(lines[1].find("127.0.0.3"), 9, "127.0.0.9");
  lines[3].replace(lines[3].find("succeeded"), 9, "failed");
  file.Write(lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[3] + "\n");
  const auto bad = RunReceipts(file.Path() + " --key " + publicKey);
  EXPECT_EQ(bad.exitCode, 8);
  for (const char* named : {"line 2: the signature", "line 3: \"prev\"", "line 4: the signature"}) {
    EXPECT_NE(bad.err.find(named), std::string::npos) << named << "\n" << bad.err;
  }

  // An earlier version's unsigned file still lists and holds as a chain, marked unsigned.
  testing::ScratchFile old("unsigned");
  ASSERT_TRUE(AppendReceipt(old.Path(), testing::SampleReceipt("127.0.0.2", 10), error)) << error;
  const auto listed = RunReceipts(old.Path());
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_NE(listed.out.find("succeeded (0)  unsigned"), std::string::npos) << listed.out;
  EXPECT_EQ(RunReceipts(old.Path() + " --key " + publicKey).exitCode, 8);
  old.Write("");
  const auto emptied = RunReceipts(old.Path());
  EXPECT_EQ(emptied.exitCode, 8);
  EXPECT_NE(emptied.err.find("holds no receipts"), std::string::npos) << emptied.err;
}

TEST(KeysCommand, AKeyFileOthersMayReadIsRefused) {
  const std::string folder = ::testing::TempDir() + "tessaline-keys-" + std::to_string(::getpid());
  std::filesystem::remove_all(folder);
  const std::string prefix = "env TESSALINE_KEY_DIR=" + folder + " ";
  ASSERT_EQ(tessaline::testing::RunCli("keys", prefix).exitCode, 0);
  const std::string keyFile = folder + "/signing-key";
  EXPECT_EQ(std::filesystem::status(keyFile).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::permissions(keyFile, std::filesystem::perms::group_read,
                               std::filesystem::perm_options::add);
  const auto refused = tessaline::testing::RunCli("keys", prefix);
  EXPECT_NE(refused.exitCode, 0);
  EXPECT_NE(refused.err.find("others than its owner may use this private key"), std::string::npos)
      << refused.err;
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tessaline::receipts
