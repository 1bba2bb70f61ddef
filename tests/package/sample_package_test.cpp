// The package of this build: resources, image counts, texts, the package check, variants.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "package/package.h"
#include "package/package_contents.h"
#include "platform/digest.h"
#include "platform/module_resources.h"
#include "support/memory_package.h"

namespace tessaline {
namespace {

constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kEndOfFileRecord = 0x01;
constexpr std::uint8_t kExtendedLinearAddressRecord = 0x04;
constexpr std::uint8_t kStartLinearAddressRecord = 0x05;

std::string ResourceText(std::string_view type, std::string_view name) {
  const auto bytes = platform::FindModuleResource(type, name);
  if (!bytes) return {};
  return {reinterpret_cast<const char*>(bytes->data()), bytes->size()};
}

TEST(SamplePackage, HoldsTheResourcesOfThisBuild) {
  struct Expected {
    std::string_view type;
    std::string_view name;
    std::optional<std::size_t> size;  // nullopt: absent
  };
  const std::vector<Expected> cases = {
      {"HEX", "APPLICATION_STM32_ADAU1452", 702237},
      {"BIN", "FLASH_STM32_ADAU1452", 656911},
      {"NOTES", "BUILD_NOTES", 239},
      {"NOTES", "CORE_HW_NOTES", std::nullopt},
      {"HEX", "FLASH_STM32_ADAU1452", std::nullopt},
      // Resource names and types ignore ASCII case, as on Windows.
      {"hex", "application_stm32_adau1452", 702237},
      {"HEX", "APPLICATION_STM32_ADAU1452 ", std::nullopt},
  };
  for (const Expected& c : cases) {
    const auto bytes = platform::FindModuleResource(c.type, c.name);
    ASSERT_EQ(bytes.has_value(), c.size.has_value()) << c.type << "/" << c.name;
    if (bytes) {
      EXPECT_EQ(bytes->size(), *c.size) << c.name;
    }
  }
  EXPECT_TRUE(platform::FindModuleResource("PROPERTIES", "UNIT"));
  EXPECT_TRUE(platform::FindModuleResource("PROPERTIES", "UPDATER"));
}

TEST(SamplePackage, ApplicationImageHasTheExpectedRecords) {
  CHexManager image;
  ASSERT_TRUE(image.LoadHexResource("APPLICATION_STM32_ADAU1452")) << image.LastError();
  ASSERT_EQ(image.RecordCount(), 15613u);

  std::map<std::uint8_t, int> byType;
  std::vector<std::uint16_t> uppers;
  std::uint32_t upper = 0;
  std::uint32_t lowest = 0xFFFFFFFF;
  std::uint32_t highest = 0;
  std::uint32_t dataBytes = 0;
  std::optional<std::uint32_t> start;
  std::vector<std::uint8_t> version;
  std::uint8_t lastType = 0xFF;
  std::array<std::uint8_t, kMaxHexRecordBytes> record{};
  image.RewindRecords();
  while (const std::uint16_t n = image.NextRecord(record.data(), record.size())) {
    const std::uint8_t type = record[3];
    ++byType[type];
    lastType = type;
    if (type == kExtendedLinearAddressRecord) {
      upper = static_cast<std::uint32_t>(record[4] << 8 | record[5]);
      uppers.push_back(static_cast<std::uint16_t>(upper));
    } else if (type == kStartLinearAddressRecord) {
      start = static_cast<std::uint32_t>(record[4]) << 24 | record[5] << 16 | record[6] << 8 |
              record[7];
    } else if (type == kDataRecord) {
      const std::uint32_t address =
          upper << 16 | static_cast<std::uint32_t>(record[1] << 8 | record[2]);
      EXPECT_LE(record[0], 16u);
      if (address == 0x0807FFFC) {
        version.assign(record.begin() + 4, record.begin() + 4 + record[0]);
        continue;
      }
      lowest = std::min(lowest, address);
      highest = std::max(highest, address + record[0] - 1);
      dataBytes += record[0];
    }
    EXPECT_EQ(n, record[0] + 5u);
  }
  EXPECT_EQ(image.RecordsTaken(), 15613u);
  EXPECT_EQ(byType[kDataRecord], 15606);
  EXPECT_EQ(byType[kExtendedLinearAddressRecord], 5);
  EXPECT_EQ(byType[kStartLinearAddressRecord], 1);
  EXPECT_EQ(byType[kEndOfFileRecord], 1);
  EXPECT_EQ(lastType, kEndOfFileRecord);
  EXPECT_EQ(uppers, (std::vector<std::uint16_t>{0x0802, 0x0803, 0x0804, 0x0805, 0x0807}));
  EXPECT_EQ(start, 0x0803373Du);
  EXPECT_EQ(lowest, 0x08020000u);
  EXPECT_EQ(highest, 0x0805CF1Fu);
  EXPECT_EQ(dataBytes, 0x0805CF20u - 0x08020000u - 16u);  // one 16-byte hole
  EXPECT_EQ(version, (std::vector<std::uint8_t>{0x02, 0x00, 0x01, 0x00}));

  // Handing out again after the end changes nothing.
  EXPECT_EQ(image.NextRecord(record.data(), record.size()), 0u);
  EXPECT_EQ(image.RecordsTaken(), 15613u);
}

TEST(SamplePackage, FlashDataImageIsUsedInPlaceAndCutInto64ByteChunks) {
  CBinManager image;
  ASSERT_TRUE(image.LoadFromResource("FLASH_STM32_ADAU1452"));
  const auto resource = platform::FindModuleResource("BIN", "FLASH_STM32_ADAU1452");
  ASSERT_TRUE(resource);
  EXPECT_EQ(image.Bytes().data(), resource->data());
  EXPECT_TRUE(image.IsResourceBacked());
  EXPECT_EQ(image.GetImageSize(), 656911u);

  std::array<std::uint8_t, 64> chunk{};
  std::uint32_t address = 0;
  std::uint32_t chunks = 0;
  std::uint32_t lastAddress = 0;
  std::uint16_t lastSize = 0;
  bool inOrder = true;
  while (const std::uint16_t n = image.NextChunk(chunk.data(), chunk.size(), address)) {
    inOrder = inOrder && address == kFlashDataBase + 64 * chunks;
    inOrder = inOrder && std::equal(chunk.begin(), chunk.begin() + n,
                                    resource->begin() + (address - kFlashDataBase));
    ++chunks;
    lastAddress = address;
    lastSize = n;
  }
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(chunks, 10265u);
  EXPECT_EQ(lastAddress, 0xE0600u);
  EXPECT_EQ(lastSize, 15u);
  EXPECT_EQ(image.BytesTaken(), 656911u);

  // Releasing a resource-backed image leaves the resource intact.
  const std::vector<std::uint8_t> before(resource->begin(), resource->begin() + 64);
  image.ReleaseImage();
  EXPECT_EQ(image.GetImageSize(), 0u);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), resource->begin()));
}

TEST(SamplePackage, BuildNotesListTheBuildsNewestFirst) {
  const std::string notes = ResourceText("NOTES", "BUILD_NOTES");
  ASSERT_EQ(notes.size(), 239u);
  const std::string heading12 = "Build V1.2\r\n----------\r\n\r\n";
  const std::string heading11 = "\r\nBuild V1.1\r\n----------\r\n\r\n";
  EXPECT_EQ(notes.rfind(heading12, 0), 0u);
  const auto v11 = notes.find(heading11);
  ASSERT_NE(v11, std::string::npos);
  EXPECT_GT(notes.size(), v11 + heading11.size());
  // Every line ends in CR LF: no lone CR or LF anywhere, and the text ends with one.
  for (std::size_t i = 0; i < notes.size(); ++i) {
    if (notes[i] == '\r') {
      EXPECT_EQ(notes[i + 1], '\n') << i;
    }
    if (notes[i] == '\n') {
      EXPECT_EQ(notes[i - 1], '\r') << i;
    }
  }
  EXPECT_EQ(notes.substr(notes.size() - 2), "\r\n");
  EXPECT_EQ(notes.find("\r\n\r\n\r\n"), std::string::npos);
}

TEST(SamplePackage, PropertiesHoldTheTextsOfThisBuild) {
  const auto package = EmbeddedPackage();
  const std::string mail = "support@brume-electronics.com";
  struct Text {
    const PropertiesContainer& container;
    std::string key;
    std::string value;
  };
  const PropertiesContainer& unit = package->UnitTexts();
  const PropertiesContainer& updater = package->UpdaterTexts();
  const std::vector<Text> texts = {
      {unit, "model", "Tessaline"},
      {unit, "announce-model", "Tessaline"},
      {unit, "build-version", "V1.2"},
      {unit, "server-ui-version", "V1.2"},
      {unit, "server-fw-version", "V1.2"},
      {unit, "server-hw-version", "V1.1"},
      {unit, "help-message.Unit Preparation.1",
       "The Tessaline can be put into booloader mode via:\n\n  Internal jumper J15\n  The "
       "\"Enter Bootload\" button on this utility."},
      {updater, "update-warning",
       "Only perform an update if the firmware version on your unit is lower than the update "
       "version."},
      {updater, "error-message.WrongResponse",
       "Received incorrect response from unit.\n  * Check this is the correct model.\n  * Check "
       "bootloader is active.\n"},
      {updater, "error-message.NoResponse",
       "Received no response from unit.\n  * Check this is the correct port and baud rate.\n  * "
       "Check the network cable is connected correctly."},
      {updater, "error-message.NoHexFile",
       "No application specified in this build. The unit cannot be programmed.\n  Contact: " +
           mail},
      {updater, "error-message.MBlockOverflow",
       "Too many restricted code blocks. \n\nContact " + mail + " for assistance"},
      {updater, "help-message.Updater Instructions.3",
       "Set the COM port and baud rate to be used.\nDefault this is set to Baud Rate 115200 and "
       "COM 1."},
  };
  for (const Text& t : texts) EXPECT_EQ(t.container.GetString(t.key), t.value) << t.key;
  EXPECT_EQ(unit.Size(), 7u);
  EXPECT_EQ(updater.Size(), 12u);
  EXPECT_EQ(unit.Lookup("core-hw-version"), nullptr);
  EXPECT_EQ(unit.Lookup("core-fw-version"), nullptr);
  EXPECT_EQ(updater.HelpPages("help-message.Updater Instructions").size(), 7u);
  EXPECT_EQ(unit.HelpPages("help-message.Unit Preparation").size(), 1u);

  for (const std::string_view name : {"UNIT", "UPDATER"}) {
    const std::string text = ResourceText("PROPERTIES", name);
    std::size_t lines = 0;
    for (std::size_t end = text.find("\r\n"), begin = 0; end != std::string::npos;
         begin = end + 2, end = text.find("\r\n", begin), ++lines) {
      const std::string line = text.substr(begin, end - begin);
      EXPECT_NE(line.find("\t= "), std::string::npos) << line;  // values aligned with TABs
    }
    EXPECT_EQ(lines, name == "UNIT" ? 7u : 12u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(lines));
  }
}

TEST(SamplePackage, ThePackageHoldsTheOneVariant) {
  const auto package = EmbeddedPackage();
  EXPECT_TRUE(package->HasAnyApplication());
  const ImagePresenceFlags expected{true, true, false, false, false, false, false, false};
  EXPECT_EQ(package->Presence(), expected);
  // Loaded once: every job of the process shares the same object.
  EXPECT_EQ(EmbeddedPackage().get(), package.get());
}

TEST(SamplePackage, OnlyTheBuildVersionRowOffersNotes) {
  const PropertiesContainer& unit = EmbeddedPackage()->UnitTexts();
  std::vector<StringId> shown;
  std::vector<StringId> withNotes;
  for (const VersionRow& row : VersionTable) {
    if (unit.Lookup(row.key) != nullptr) shown.push_back(row.label);
    if (platform::FindModuleResource(kNotesResourceType, row.notes)) withNotes.push_back(row.label);
  }
  EXPECT_EQ(shown, (std::vector<StringId>{IDS_BUILD_VERSION, IDS_SERVER_FW_VERSION,
                                          IDS_SERVER_HW_VERSION, IDS_SERVER_UI_VERSION}));
  EXPECT_EQ(withNotes, std::vector<StringId>{IDS_BUILD_VERSION});
}

TEST(PackageVariants, SelectionIsExactAndCaseSensitive) {
  struct Case {
    std::string_view mcu;
    std::string_view dsp;
    std::optional<std::size_t> variant;
  };
  const std::vector<Case> cases = {
      {"STM32", "ADAU1452", 0},   {"GD32", "ADAU1452", 1},   {"STM32", "ADAU1462", 2},
      {"GD32", "ADAU1462", 3},    {"stm32", "ADAU1452", {}}, {"STM32", "adau1452", {}},
      {"STM32 ", "ADAU1452", {}}, {"STM3", "ADAU1452", {}},  {"", "", {}},
      {"ADAU1452", "STM32", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SelectVariant(c.mcu, c.dsp), c.variant) << c.mcu << "/" << c.dsp;
  }
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    const PackageVariant& app = PackageVariants[ApplicationRow(variant)];
    const PackageVariant& flash = PackageVariants[FlashDataRow(variant)];
    EXPECT_EQ(app.type, "HEX");
    EXPECT_EQ(flash.type, "BIN");
    EXPECT_EQ(app.resource,
              "APPLICATION_" + std::string(app.mcuFamily) + "_" + std::string(app.dsp));
    EXPECT_EQ(flash.resource, "FLASH_" + std::string(app.mcuFamily) + "_" + std::string(app.dsp));
    EXPECT_EQ(SelectVariant(app.mcuFamily, app.dsp), variant);
  }
}

TEST(PackageVariants, LoadsOnlyWhatThePackageHoldsForTheUnit) {
  CHexManager application;
  CBinManager flashData;
  const Package& sample = *EmbeddedPackage();
  EXPECT_EQ(sample.LoadVariant("STM32", "ADAU1452", application, flashData), VariantImages::Loaded);
  EXPECT_EQ(application.RecordCount(), 15613u);
  EXPECT_EQ(flashData.GetImageSize(), 656911u);

  EXPECT_EQ(sample.LoadVariant("STM32", "ADAU1462", application, flashData),
            VariantImages::NotInPackage);
  EXPECT_EQ(application.RecordCount(), 0u) << "nothing of another job's unit is kept";
  EXPECT_EQ(sample.LoadVariant("stm32", "ADAU1452", application, flashData),
            VariantImages::UnknownVariant);
  EXPECT_EQ(sample.LoadVariant("AVR", "ADAU1452", application, flashData),
            VariantImages::UnknownVariant);

  // A source with only flash data: only the flash data is loaded.
  testing::MemoryPackageSource flashOnly;
  flashOnly.Add("BIN", "FLASH_STM32_ADAU1452", "flash");
  CHexManager untouched;
  EXPECT_EQ(Package::Load(flashOnly)->LoadVariant("STM32", "ADAU1452", untouched, flashData),
            VariantImages::Loaded);
  EXPECT_EQ(untouched.RecordCount(), 0u);
  EXPECT_EQ(flashData.GetImageSize(), 5u);
}

TEST(PackageVariants, JobsShareOneDecodedImageEachAtItsOwnPlaceAndTheFactsOutliveTheText) {
  const Package& sample = *EmbeddedPackage();
  CHexManager first;
  CHexManager second;
  CBinManager flashData;
  ASSERT_EQ(sample.LoadVariant("STM32", "ADAU1452", first, flashData), VariantImages::Loaded);
  ASSERT_EQ(sample.LoadVariant("STM32", "ADAU1452", second, flashData), VariantImages::Loaded);
  std::uint8_t a[kMaxHexRecordBytes];
  std::uint8_t b[kMaxHexRecordBytes];
  for (int i = 0; i < 3; ++i) first.NextRecord(a, sizeof a);
  const std::uint16_t length = second.NextRecord(b, sizeof b);
  first.RewindRecords();
  ASSERT_EQ(first.NextRecord(a, sizeof a), length);
  EXPECT_TRUE(std::equal(a, a + length, b));
  EXPECT_EQ(second.RecordsTaken(), 1u);
  // A job that loads another text into its image leaves the shared records alone.
  const std::string tiny = ":0100000000FF\n:00000001FF\n";
  ASSERT_TRUE(first.LoadFromMemory(
      std::span(reinterpret_cast<const std::uint8_t*>(tiny.data()), tiny.size())));
  EXPECT_EQ(first.RecordCount(), 2u);
  EXPECT_EQ(second.RecordCount(), 15613u);
  CHexManager third;
  ASSERT_EQ(sample.LoadVariant("STM32", "ADAU1452", third, flashData), VariantImages::Loaded);
  EXPECT_EQ(third.RecordCount(), 15613u);

  // Size and digest of each file as read, also where the package dropped its copy of the text.
  testing::MemoryPackageSource copied;
  const std::string hex = ResourceText("HEX", "APPLICATION_STM32_ADAU1452");
  // The loaded package let the text's memory go; read again, it comes back from the program file.
  CHexManager reread;
  ASSERT_TRUE(reread.LoadFromMemory(
      std::span(reinterpret_cast<const std::uint8_t*>(hex.data()), hex.size())));
  EXPECT_EQ(reread.RecordCount(), 15613u);
  copied.Add("HEX", "APPLICATION_STM32_ADAU1452", hex).Add("BIN", "FLASH_STM32_ADAU1452", "flash");
  const auto variant = *SelectVariant("STM32", "ADAU1452");
  const auto loaded = Package::Load(copied);
  for (const Package* package : {&sample, loaded.get()}) {
    const auto facts = package->FileFacts(ApplicationRow(variant));
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->bytes, hex.size());
    EXPECT_EQ(facts->sha256, platform::Sha256Hex(hex));
  }
  EXPECT_EQ(loaded->FileFacts(FlashDataRow(variant))->sha256,
            platform::Sha256Hex(std::string_view("flash")));
  EXPECT_FALSE(sample.FileFacts(ApplicationRow(*SelectVariant("GD32", "ADAU1452"))).has_value());
}

TEST(PackageVariants, HasAnyApplicationCountsApplicationFlagsOnly) {
  ImagePresenceFlags flags{};
  EXPECT_FALSE(HasAnyApplication(flags));
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    flags[FlashDataRow(variant)] = true;
  }
  EXPECT_FALSE(HasAnyApplication(flags));
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    ImagePresenceFlags one{};
    one[ApplicationRow(variant)] = true;
    EXPECT_TRUE(HasAnyApplication(one)) << variant;
  }
}

}  // namespace
}  // namespace tessaline
