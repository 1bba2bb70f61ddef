// The hand-over report as headless Chromium prints it: every unit's row, the summary and what was
// verified are in the printed text; a screenshot is kept in the build folder.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "receipt_test_support.h"
#include "receipts/receipt_log.h"
#include "receipts/signing_key.h"
#include "support/cli_program.h"

namespace tessaline::receipts {
namespace {

bool Installed(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Chromium runs in a network namespace of its own (it reaches nothing but the file), its
// profile and crash reports in a scratch folder.
int Chromium(const std::string& arguments, const std::string& profile) {
  return std::system(("HOME=" + profile + " XDG_CONFIG_HOME=" + profile +
                      " XDG_CACHE_HOME=" + profile +
                      " timeout 120 unshare -n chromium --headless=new --no-sandbox --disable-gpu "
                      "--no-first-run --user-data-dir=" +
                      profile + " " + arguments + " >/dev/null 2>&1")
                         .c_str());
}

TEST(ReceiptsReport, ChromiumPrintsEveryUnitTheSummaryAndWhatWasVerified) {
  if (!Installed("chromium") || !Installed("pdftotext") || !Installed("unshare")) {
    GTEST_SKIP() << "needs chromium, pdftotext and unshare (scripts/setup.sh installs them)";
  }
  testing::ScratchFile file("report");
  std::string error;
  const auto user = LoadOrMakeUserKey(error);
  ASSERT_TRUE(user) << error;
  const std::vector<std::pair<std::string, Outcome>> units = {
      {"127.0.0.2", {"succeeded", "Update complete.", 0}},
      {"127.0.0.3", {"failed", "The firmware update could not complete <erase>.", 1}},
      {"/dev/ttyUSB0", {"declined", "The unit runs a newer version.", 4}},
      {"127.0.0.4", {"succeeded", "Update complete.", 0}},
  };
  for (const auto& [unit, outcome] : units) {
    Receipt receipt = testing::SampleReceipt(unit, 41200);
    receipt.outcome = outcome;
    ASSERT_TRUE(AppendReceipt(file.Path(), receipt, error, {}, kReceiptLockWait, user->key.get()))
        << error;
  }
  const std::string publicKey = file.Path() + ".pem", html = file.Path() + ".html",
                    csv = file.Path() + ".csv", pdf = file.Path() + ".pdf";
  ASSERT_EQ(tessaline::testing::RunCli("keys --export " + publicKey).exitCode, 0);
  const auto run =
      tessaline::testing::RunCli("receipts " + file.Path() + " --key " + publicKey +
                                 " --site 'Hall 3, rack A' --report " + html + " --csv " + csv);
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const std::string profile = file.Path() + ".chromium";
  ASSERT_EQ(Chromium("--no-pdf-header-footer --print-to-pdf=" + pdf + " file://" + html, profile),
            0);
  const char* buildDir = std::getenv("TESSALINE_BUILD_DIR");
  const std::string screenshot =
      std::string(buildDir != nullptr ? buildDir : ".") + "/receipts-report.png";
  EXPECT_EQ(
      Chromium("--window-size=1100,900 --screenshot=" + screenshot + " file://" + html, profile),
      0);
  EXPECT_TRUE(std::filesystem::exists(screenshot));
  std::filesystem::remove_all(profile);

  ASSERT_EQ(std::system(("pdftotext " + pdf + " " + pdf + ".txt").c_str()), 0);
  testing::ScratchFile printed("printed");
  std::filesystem::rename(pdf + ".txt", printed.Path());
  // Words as printed, wherever the page broke a cell's lines.
  std::string text;
  for (const char c : printed.Read()) {
    if (!std::isspace(static_cast<unsigned char>(c))) {
      text.push_back(c);
    } else if (!text.empty() && text.back() != ' ') {
      text.push_back(' ');
    }
  }
  for (const auto& [unit, outcome] : units) {
    EXPECT_NE(text.find(unit), std::string::npos) << unit << "\n" << text;
  }
  const std::string fingerprint = Fingerprint(user->key->PublicPoint());
  for (const std::string& shown : std::vector<std::string>{
           "Hall 3, rack A", "Units updated 2", "Failed 1", "Skipped 1", "<erase>", "1.1 → 1.2",
           "2024-05-01T09:30:12.345Z", "2024-05-01 09:30:12", "41.2 s",
           "every line is signed by the key", fingerprint}) {
    EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
  }
  testing::ScratchFile rows("rows");
  std::filesystem::rename(csv, rows.Path());
  EXPECT_EQ(rows.Lines().size(), units.size() + 1);
  for (const std::string& path : {publicKey, html, pdf}) std::filesystem::remove(path);
}

}  // namespace
}  // namespace tessaline::receipts
