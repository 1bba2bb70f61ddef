// The sample application image read by an independent tool (srecord) agrees with our records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/hex_manager.h"
#include "package/temp_file.h"
#include "platform/module_resources.h"

namespace tessaline {
namespace {

constexpr std::uint32_t kImageBegin = 0x08020000;
constexpr std::uint32_t kImageEnd = 0x0805CF20;  // one past the last application byte

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool HaveTool(const char* tool) {
  return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(SrecordCrossCheck, SampleImageIsValidIntelHexWithTheSameContent) {
  if (!HaveTool("srec_info") || !HaveTool("srec_cat")) {
    GTEST_SKIP() << "srecord (srec_info, srec_cat) is not installed";
  }
  const auto resource = platform::FindModuleResource("HEX", "APPLICATION_STM32_ADAU1452");
  ASSERT_TRUE(resource);
  const test::TempFile hex(
      std::string(reinterpret_cast<const char*>(resource->data()), resource->size()));
  const test::TempFile info("");
  const test::TempFile binary("");

  // srec_info refuses a bad checksum, so a zero exit also checks every line.
  ASSERT_EQ(std::system(("srec_info " + hex.Path() + " -intel > " + info.Path() + " 2>&1").c_str()),
            0)
      << ReadAll(info.Path());
  const std::string report = ReadAll(info.Path());
  EXPECT_NE(report.find("Execution Start Address: 0803373D"), std::string::npos) << report;
  EXPECT_NE(report.find("0807FFFC - 0807FFFF"), std::string::npos) << report;
  EXPECT_NE(report.find("08020000 - "), std::string::npos) << report;
  EXPECT_NE(report.find(" - 0805CF1F"), std::string::npos) << report;

  const std::string command = "srec_cat " + hex.Path() + " -intel -crop " +
                              std::to_string(kImageBegin) + " " + std::to_string(kImageEnd) +
                              " -offset -" + std::to_string(kImageBegin) + " -o " + binary.Path() +
                              " -binary";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string expected = ReadAll(binary.Path());
  ASSERT_EQ(expected.size(), kImageEnd - kImageBegin);

  // Lay our records out the same way: data records under their extended linear address.
  CHexManager image;
  ASSERT_TRUE(image.LoadFromFile(hex.Path())) << image.LastError();
  std::string ours(kImageEnd - kImageBegin, '\0');
  std::vector<std::uint8_t> record(kMaxHexRecordBytes);
  std::uint32_t upper = 0;
  while (const std::uint16_t n = image.NextRecord(record.data(), kMaxHexRecordBytes)) {
    ASSERT_GE(n, 5u);
    if (record[3] == 0x04) upper = static_cast<std::uint32_t>(record[4] << 8 | record[5]);
    if (record[3] != 0x00) continue;
    const std::uint32_t address =
        upper << 16 | static_cast<std::uint32_t>(record[1] << 8 | record[2]);
    if (address < kImageBegin || address >= kImageEnd) continue;
    for (std::uint32_t i = 0; i < record[0]; ++i) {
      ours[address - kImageBegin + i] = static_cast<char>(record[4 + i]);
    }
  }
  EXPECT_TRUE(ours == expected);
}

}  // namespace
}  // namespace tessaline
