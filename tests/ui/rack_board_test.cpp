// The rack window's portable parts: its box of units read line by line, and the board that
// carries the runner's news to the window without flooding its queue.
#include "ui/rack_board.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/recording_message_target.h"
#include "ui/messages.h"
#include "ui/rack_units.h"

namespace tessaline {
namespace {

TEST(RackUnits, EachLineIsAUnitOrSaysWhyNot) {
  const auto lines = ReadRackUnits(
      "  127.0.0.2 \r\n\r\n127.0.0.3\nCOM7\nrack-4\n255.255.255.255\n0.0.0.0\n127.0.0.1\n"
      "127.0.0.3\n127.0.0.256\n# amps\n127.0.0.4  # amp 4\n/dev/ttyUSB0\n");
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0].text, "127.0.0.2");
  ASSERT_TRUE(lines[0].unit.has_value());
  EXPECT_EQ(lines[0].unit->Label(), "127.0.0.2");
  EXPECT_TRUE(lines[1].unit.has_value());
  ASSERT_TRUE(lines[2].unit.has_value());
  EXPECT_TRUE(lines[2].unit->IsSerial());
  for (const std::size_t refused : {3u, 4u, 5u, 6u, 7u, 8u}) {
    EXPECT_FALSE(lines[refused].unit.has_value()) << lines[refused].text;
    EXPECT_FALSE(lines[refused].problem.empty()) << lines[refused].text;
  }
  EXPECT_EQ(lines[3].problem, UiString(IDS_RACK_LINE_NEITHER));
  EXPECT_EQ(lines[4].problem, UiString(IDS_RACK_LINE_REFUSED));
  // The line numbers count the blank line: they are the box's own.
  EXPECT_EQ(lines[7].problem, "Named twice: the same unit as line 3.");
  EXPECT_EQ(lines[8].problem, UiString(IDS_RACK_LINE_NEITHER));
  // Comments and device paths read as in the command line's units file.
  EXPECT_EQ(lines[9].text, "127.0.0.4");
  EXPECT_TRUE(lines[9].unit.has_value());
  ASSERT_TRUE(lines[10].unit.has_value());
  EXPECT_TRUE(lines[10].unit->IsSerial());
}

TEST(RackBoard, NewsAboutAUnitIsPostedOnceUntilTheWindowTookItsRow) {
  auto target = std::make_shared<RecordingMessageTarget>();
  RackBoard board(2, target);
  board.UnitStarted(1);
  board.PlanReady(1, 1000);
  for (std::uint32_t position = 1; position <= 500; ++position) board.PositionMoved(1, position);
  board.StageBegan(0, Stage::Application, 1);
  ASSERT_EQ(target->Messages().size(), 2u);
  EXPECT_EQ(target->Messages()[0].code, WM_APP_RACK_ROW_CHANGED);
  EXPECT_EQ(target->Messages()[0].wParam, 1u);
  EXPECT_EQ(target->Messages()[1].wParam, 0u);

  const RackRowFacts row = board.Take(1);
  EXPECT_EQ(row.state, RackRowState::Running);
  EXPECT_EQ(row.total, 1000u);
  EXPECT_EQ(row.position, 500u);
  UnitUpdateReport report;
  report.outcome = {2, "no-response", "silent"};
  board.UnitFinished(1, report);
  board.UnitSkipped(0);  // unit 0's news was not taken yet: no second message
  board.RunEnded();
  ASSERT_EQ(target->Codes().size(), 4u);
  EXPECT_EQ(target->Messages()[2].wParam, 1u);
  EXPECT_EQ(target->Codes()[3], WM_APP_RACK_RUN_ENDED);
  EXPECT_EQ(board.Take(1).report->outcome.text, "silent");
  EXPECT_EQ(board.Take(0).state, RackRowState::Skipped);
}

}  // namespace
}  // namespace tessaline
