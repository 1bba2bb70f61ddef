// The identity split, the status reply rule of a step, batch cutting and the chunk payload.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "link/bootloader_link.h"
#include "package/hex_manager.h"
#include "support/manual_clock.h"
#include "update/bootloader_commands.h"
#include "update/programming.h"
#include "update/scripted_unit.h"
#include "update/test_images.h"
#include "update/unit_identity.h"

namespace tessaline {
namespace {

using testing::GoodUnit;
using testing::IdentityReply;
using testing::MakeScriptedUnit;
using testing::ManualClock;
using testing::ReceivedRequest;
using testing::UnitLog;

struct LinkToScript {
  ManualClock clock;
  std::shared_ptr<UnitLog> log = std::make_shared<UnitLog>();
  BootloaderLink link{clock};

  explicit LinkToScript(testing::Responder responder) {
    link.SetTransport(MakeScriptedUnit(clock, std::move(responder), log));
    link.OpenTransport();
  }
};

TEST(UnitIdentity, SplitsTheIdentityTextAtCommas) {
  struct Case {
    const char* text;
    const char* model;
    const char* mcu;
    const char* dsp;
  };
  const Case cases[] = {
      {"Tessaline,STM32,ADAU1452", "Tessaline", "STM32", "ADAU1452"},
      {"Tessaline,GD32,ADAU1462,rev B", "Tessaline", "GD32", "ADAU1462,rev B"},
      {"Tessaline,STM32", "Tessaline", "", ""},
      {"Tessaline", "", "", ""},
      {",,", "", "", ""},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    UnitIdentity identity;
    SplitIdentityText(c.text, identity);
    EXPECT_EQ(identity.model, c.model) << c.text;
    EXPECT_EQ(identity.mcuFamily, c.mcu) << c.text;
    EXPECT_EQ(identity.dsp, c.dsp) << c.text;
  }
}

TEST(UnitIdentity, JudgesTheIdentityReply) {
  struct Case {
    std::optional<std::vector<std::uint8_t>> reply;  // data after the command byte; none: silent
    IdentityResult result;
    bool sequenced;
    const char* mcu;
  };
  const std::vector<std::uint8_t> fiveBytes{0x01, 0x00};       // + code + CRC = 5
  const std::vector<std::uint8_t> sixBytes{0x01, 0x00, 0x01};  // + code + CRC = 6
  const Case cases[] = {
      {IdentityReply(1, 0, "Tessaline,STM32,ADAU1452"), IdentityOk, true, "STM32"},
      {IdentityReply(4, 0, "Tessaline,STM32,ADAU1452"), IdentityOk, true, "STM32"},
      {IdentityReply(4, 1, "Tessaline,STM32,ADAU1452"), IdentityWrong, true, "STM32"},
      {IdentityReply(1, 0, "TessalineXY,STM32,ADAU1452"), IdentityOk, true, "STM32"},
      {IdentityReply(1, 0, "Tessalin,STM32,ADAU1452"), IdentityWrong, true, "STM32"},
      {IdentityReply(1, 0, "Tessaline"), IdentityWrong, true, ""},
      {IdentityReply(1, 0, "Tessaline,STM32"), IdentityOk, true, ""},
      {IdentityReply(1, 0, "Brume,GD32,ADAU1462"), IdentityWrong, true, "GD32"},
      {sixBytes, IdentityNoResponse, true, ""},
      {fiveBytes, IdentityNoResponse, false, ""},
      {std::vector<std::uint8_t>{}, IdentityNoResponse, false, ""},
      {std::nullopt, IdentityNoResponse, false, ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    LinkToScript unit([&](const ReceivedRequest&) { return c.reply; });
    UnitIdentity identity;
    EXPECT_EQ(CheckBootloaderIdentity(unit.link, identity), c.result) << "case " << i;
    EXPECT_EQ(identity.SequencedCommands, c.sequenced) << "case " << i;
    EXPECT_EQ(identity.mcuFamily, c.mcu) << "case " << i;
    ASSERT_FALSE(unit.log->requests.empty());
    EXPECT_EQ(unit.log->requests.front().command, 0x01) << "always the plain form";
  }
}

TEST(UnitIdentity, ASilentUnitIsAskedFiveTimes) {
  LinkToScript unit([](const ReceivedRequest&) { return std::nullopt; });
  UnitIdentity identity;
  EXPECT_EQ(CheckBootloaderIdentity(unit.link, identity), IdentityNoResponse);
  EXPECT_EQ(unit.log->requests.size(), 5u);
}

TEST(ProgrammingStep, FollowsTheStatusReplyRule) {
  struct Case {
    std::optional<std::vector<std::uint8_t>> reply;
    bool sequenced;
    bool accepted;
  };
  const Case cases[] = {
      {std::vector<std::uint8_t>{0x01}, false, true},        // 4 bytes, status 1
      {std::vector<std::uint8_t>{0x00}, false, false},       // 4 bytes, status 0
      {std::vector<std::uint8_t>{0x0C}, true, false},        // 4 bytes, status 0x0C
      {std::vector<std::uint8_t>{0x00, 0x00}, false, true},  // 5 bytes: not a status reply
      {std::vector<std::uint8_t>{}, true, true},             // 3 bytes: not a status reply
      {std::nullopt, false, false},                          // silence
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    LinkToScript unit([&](const ReceivedRequest&) { return cases[i].reply; });
    JobObserver observer;
    ProgrammingSession session{unit.link, cases[i].sequenced, observer, {}, 0, {}, nullptr,
                               nullptr};
    EXPECT_EQ(RestoreFactoryDefaults(session) == StepResult::Done, cases[i].accepted)
        << "case " << i;
    ASSERT_FALSE(unit.log->requests.empty());
    EXPECT_EQ(unit.log->requests.front().command, cases[i].sequenced ? 0x8C : 0x0C);
  }
}

TEST(DataReplyAccepted, DemandsAStatusByteOfOne) {
  struct Case {
    std::vector<std::uint8_t> reply;
    bool accepted;
  };
  const Case cases[] = {
      {{0x03, 0x01, 0x12, 0x34}, true},        // code, status 1, CRC
      {{0x06, 0x01, 0x00, 0x12, 0x34}, true},  // more data after the status
      {{0x03, 0x00, 0x12, 0x34}, false},       // status 0
      {{0x03, 0x01, 0x34}, false},             // no status byte: byte 1 is the CRC
      {{0x03, 0x01}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DataReplyAccepted(c.reply.data(), static_cast<std::uint16_t>(c.reply.size())),
              c.accepted)
        << c.reply.size() << " bytes";
  }
}

TEST(RecordBatcher, CutsBatchesOfWholeRecordsWithinTheRequestLimit) {
  struct Case {
    std::size_t records;
    std::size_t dataBytes;
    std::vector<std::uint32_t> recordsPerBatch;
  };
  const Case cases[] = {
      {9, 16, {8, 1}},
      {16, 16, {8, 8}},
      {2, 16, {2}},
      // 150-byte data records are 155 bytes each: six fit in 1016 bytes, the seventh waits;
      // the 5-byte end-of-file record joins the last three.
      {10, 150, {6, 4}},
      // 251-byte data records (the longest) are 256 bytes each: three per batch.
      {7, 251, {3, 4}},
      {8, 251, {3, 3, 2}},
  };
  for (const auto& c : cases) {
    testing::TempFile file("batch.hex", testing::HexText(c.records, c.dataBytes));
    CHexManager image;
    ASSERT_TRUE(image.LoadFromFile(file.Path())) << image.LastError();
    image.RewindRecords();
    std::vector<std::uint8_t> all;
    for (std::uint32_t r = 0; r < image.RecordCount(); ++r) {
      std::uint8_t record[kMaxHexRecordBytes];
      const auto n = image.NextRecord(record, sizeof record);
      all.insert(all.end(), record, record + n);
    }
    image.RewindRecords();

    RecordBatcher batcher(image);
    std::vector<std::uint8_t> batch;
    std::vector<std::uint8_t> joined;
    std::vector<std::uint32_t> counts;
    for (;;) {
      std::uint32_t records = 0;
      batcher.Next(batch, records);
      if (records == 0) break;
      EXPECT_LE(batch.size(), kMaxBatchBytes);
      EXPECT_LE(records, kRecordsPerBatch);
      counts.push_back(records);
      joined.insert(joined.end(), batch.begin(), batch.end());
    }
    EXPECT_EQ(counts, c.recordsPerBatch) << c.records << " x " << c.dataBytes;
    EXPECT_EQ(joined, all) << "every record once, in order, unsplit";
  }
}

TEST(FlashDataPayload, CarriesAddressLengthAndZeroFilledData) {
  std::uint8_t data[15];
  for (std::uint8_t i = 0; i < 15; ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
  std::uint8_t payload[kFlashDataPayload];
  std::memset(payload, 0xEE, sizeof payload);
  BuildFlashDataPayload(0xE0600, data, 15, payload);
  const std::vector<std::uint8_t> head(payload, payload + 8);
  EXPECT_EQ(head, (std::vector<std::uint8_t>{0x00, 0x06, 0x0E, 0x00, 0x0F, 0x00, 0x00, 0x00}));
  EXPECT_EQ(0, std::memcmp(payload + 8, data, 15));
  for (std::size_t i = 8 + 15; i < kFlashDataPayload; ++i) EXPECT_EQ(payload[i], 0) << i;
}

}  // namespace
}  // namespace tessaline
