// The command line's parsing, addresses, version guard and output forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/command_line.h"
#include "cli/output.h"
#include "cli/unit_address.h"
#include "cli/unit_list.h"
#include "update/version_guard.h"
#include "link/bootloader_commands.h"
#include "platform/sockets.h"

namespace tessaline::cli {
namespace {

const auto kUpdateOptions = ParseOptionList("ip=,port=,factory-defaults,no-firmware,force,json");

TEST(CommandLine, AcceptsOnlyTheCommandsOptions) {
  struct Case {
    std::vector<std::string> words;
    bool ok;
    const char* error;  // a fragment of the message
  };
  const Case cases[] = {
      {{"--ip", "127.0.0.2", "--force"}, true, ""},
      {{"--ip=127.0.0.2", "--json"}, true, ""},
      {{}, true, ""},
      {{"--ip"}, false, "needs a value"},
      {{"--ip="}, false, "needs a value"},
      {{"--force=yes"}, false, "takes no value"},
      {{"--speed", "9"}, false, "unknown option --speed"},
      {{"--force", "--force"}, false, "given twice"},
      {{"127.0.0.2"}, false, "unexpected argument"},
      {{"-f"}, false, "unexpected argument"},
  };
  for (const auto& c : cases) {
    CommandLine line;
    std::string error;
    EXPECT_EQ(line.Parse(c.words, kUpdateOptions, error), c.ok) << testing::PrintToString(c.words);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(CommandLine, GivesValuesFlagsAndCheckedNumbers) {
  CommandLine line;
  std::string error;
  const auto options = ParseOptionList("ip=,seconds=,json");
  ASSERT_TRUE(line.Parse({"--ip", "10.1.2.3", "--json", "--seconds=7"}, options, error));
  EXPECT_EQ(line.Value("ip"), "10.1.2.3");
  EXPECT_TRUE(line.Has("json"));
  EXPECT_FALSE(line.Has("ip2"));
  EXPECT_EQ(line.Number("seconds", 1, 60, error), 7u);
  EXPECT_EQ(line.Number("seconds", 8, 60, error), std::nullopt);
  EXPECT_NE(error.find("from 8 to 60"), std::string::npos);
  ASSERT_TRUE(line.Parse({"--seconds", "7x"}, options, error));
  EXPECT_EQ(line.Number("seconds", 1, 60, error), std::nullopt);
}

TEST(CommandLine, RepeatableOptionsKeepEveryValueInOrder) {
  CommandLine line;
  std::string error;
  const auto options = ParseOptionList("ip=*,port=*,units=");
  ASSERT_TRUE(
      line.Parse({"--ip", "10.0.0.9", "--port=/dev/ttyS1", "--ip", "10.0.0.3"}, options, error))
      << error;
  EXPECT_EQ(line.Values("ip"), (std::vector<std::string>{"10.0.0.9", "10.0.0.3"}));
  EXPECT_EQ(line.Value("ip"), "10.0.0.9");
  EXPECT_EQ(line.Values("port"), (std::vector<std::string>{"/dev/ttyS1"}));
  EXPECT_TRUE(line.Values("units").empty());
  EXPECT_FALSE(line.Parse({"--units", "a", "--units", "b"}, options, error));
  EXPECT_NE(error.find("given twice"), std::string::npos) << error;
}

TEST(UnitList, ReadsOneUnitALineAndRefusesAUnitNamedTwice) {
  struct Case {
    const char* text;
    std::vector<std::string> units;  // canonical (the system's spelling); empty when refused
    int exitCode;
  };
  const Case cases[] = {
      {"# rack A\n\n10.0.0.2\n  10.0.0.3  # amp\r\n/dev/ttyS1\n",
       {"ip:10.0.0.2", "ip:10.0.0.3", UnitAddress::Serial("/dev/ttyS1").Canonical()},
       0},
      {"10.0.0.2\n10.0.0.300\n", {}, 64},
      {"10.0.0.2\n10.0.0.02\n", {}, 64},
      {"\n# nothing\n", {}, 0},
      {"\xEF\xBB\xBF" "10.0.0.2\nCOM3\n",
       {"ip:10.0.0.2", UnitAddress::Serial("COM3").Canonical()},
       0},
      {"10.0.0.2 10.0.0.3\n", {}, 64},
      {"ttyUSB0\n", {}, 64},
      {"0.0.0.0\n", {}, 64},
      {"127.0.0.1\n", {}, 64},
  };
  for (const auto& c : cases) {
    const UnitList list = RefuseDuplicates(ParseUnitsText(c.text, "units.txt"));
    EXPECT_EQ(list.exitCode, c.exitCode) << c.text;
    std::vector<std::string> units;
    for (const auto& unit : list.units) units.push_back(unit.Canonical());
    EXPECT_EQ(units, c.units) << c.text;
  }
}

TEST(UnitAddress, ReadsDottedQuadsOnly) {
  struct Case {
    const char* text;
    std::optional<std::uint32_t> address;
  };
  const Case cases[] = {
      {"127.0.0.2", platform::Ipv4FromOctets(127, 0, 0, 2)},
      {"192.168.1.255", platform::Ipv4FromOctets(192, 168, 1, 255)},
      {"0.0.0.0", platform::Ipv4FromOctets(0, 0, 0, 0)},
      {"256.0.0.1", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"1..3.4", std::nullopt},
      {"a.b.c.d", std::nullopt},
      {"1.2.3.4 ", std::nullopt},
      {"0001.2.3.4", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIpv4(c.text), c.address) << c.text;
}

TEST(UnitAddress, NeedsExactlyOneWayToTheUnit) {
  const auto options = ParseOptionList("ip=,port=");
  struct Case {
    std::vector<std::string> words;
    bool transport;
    std::string_view kind;
  };
  const Case cases[] = {
      {{"--ip", "127.0.0.2"}, true, "IP"},
      {{"--port", "/dev/ttyS0"}, true, "COM"},
      {{}, false, ""},
      {{"--ip", "127.0.0.2", "--port", "/dev/ttyS0"}, false, ""},
      {{"--ip", "unit.local"}, false, ""},
  };
  for (const auto& c : cases) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(line.Parse(c.words, options, error));
    const auto unit = UnitAddressFrom(line, error);
    EXPECT_EQ(unit.has_value(), c.transport) << testing::PrintToString(c.words);
    if (unit) {
      EXPECT_EQ(unit->MakeBootloaderTransport()->GetKind(), c.kind);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(VersionGuard, ReadsBuildVersionsAndComparesThem) {
  EXPECT_EQ(ParseBuildVersion("V1.2"), 0x00010002u);
  EXPECT_EQ(ParseBuildVersion("1.2"), 0x00010002u);
  EXPECT_EQ(ParseBuildVersion("V10.300"), 0x000A012Cu);
  EXPECT_EQ(ParseBuildVersion("V1"), std::nullopt);
  EXPECT_EQ(ParseBuildVersion("V1.x"), std::nullopt);
  EXPECT_EQ(ParseBuildVersion("V1.70000"), std::nullopt);
  EXPECT_EQ(ParseBuildVersion(""), std::nullopt);
  EXPECT_EQ(FormatApplicationVersion(0x00010002u), "1.2");

  using State = ApplicationState;
  struct Case {
    ApplicationReading unit;
    bool askedAllows;  // the answer a downgrade question gives
    bool asked;        // the question is expected
    bool wanted;
  };
  const Case cases[] = {
      {{State::Version, 0x00010001u}, false, false, true},   // older: update
      {{State::Version, 0x00010002u}, false, false, true},   // the same build: written again
      {{State::Version, 0x00010003u}, false, true, false},   // newer minor: asked, refused
      {{State::Version, 0x00020000u}, true, true, true},     // newer major, allowed when asked
      {{State::Version, 0x0000FFFFu}, false, false, true},
      {{State::NoApplication, 0}, false, false, true},      // nothing to protect
      {{State::NoAnswer, 0}, true, false, false},           // silence is never "no application"
  };
  for (const auto& c : cases) {
    bool asked = false;
    const GuardRefusal refusal =
        GuardVersion(c.unit, 0x00010002u, [&](std::uint32_t, std::uint32_t) {
          asked = true;
          return c.askedAllows;
        });
    EXPECT_EQ(!refusal.has_value(), c.wanted) << c.unit.version;
    EXPECT_EQ(asked, c.asked) << c.unit.version;
  }
  // Without a question a newer unit is declined, naming both versions.
  const GuardRefusal newer = GuardVersion({State::Version, 0x00020000u}, 0x00010002u, {});
  ASSERT_TRUE(newer);
  EXPECT_NE(newer->find("2.0, newer than this package's 1.2"), std::string::npos) << *newer;
}

TEST(ProgressBar, ShowsPercentageAmountRateAndTimeLeft) {
  // 1000 of 4000 units in 4 s: 250/s, 3000 left -> 12 s.
  EXPECT_EQ(RenderProgressBar({"UI", 1000, 4000, 4000}, 20),
            "UI [#####---------------]  25.0%  1000/4000  250/s  0:12 left");
  EXPECT_EQ(RenderProgressBar({"UI", 4000, 4000, 2000}, 4),
            "UI [####] 100.0%  4000/4000  2000/s  0:00 left");
  EXPECT_EQ(RenderProgressBar({"UI", 0, 4000, 0}, 4), "UI [----]   0.0%  0/4000  0/s  --:-- left");
  EXPECT_EQ(RenderProgressBar({"Factory Defaults", 0, 0, 0}, 2),
            "Factory Defaults [##] 100.0%  0/0  0/s  0:00 left");
  EXPECT_EQ(FormatDuration(3725), "1:02:05");
}

TEST(AlignedColumns, PadsEachColumnButTheLastToItsWidestCell) {
  EXPECT_EQ(AlignedColumns({{"Unit", "Outcome", "Time"}, {"127.0.0.10", "failed in UI", "0:07"}}),
            (std::vector<std::string>{"Unit        Outcome       Time",
                                      "127.0.0.10  failed in UI  0:07"}));
  EXPECT_EQ(AlignedColumns({{"a", "bb"}, {"ccc", ""}}),
            (std::vector<std::string>{"a    bb", "ccc  "}));
}

// Runs `write` against an Output into temporary files and returns what went to stdout.
template <typename Write>
std::pair<std::string, std::string> Capture(OutputMode mode, Write write) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  if (out == nullptr || err == nullptr) return {};
  {
    Output output(mode, out, err);
    write(output);
  }
  auto read = [](std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
  };
  return {read(out), read(err)};
}

// 100 units of application records, then 100 of flash data.
void SmallUpdate(Output& o) {
  o.Stage("Initializing", "Progress: Initializing", 0, 0);
  o.Range(200);
  o.Stage("Application", "Progress: Application", 100, 10);
  for (std::uint32_t p = 20; p <= 100; p += 20) o.Position(p, 10 + p);
  o.Stage("UI", "Progress: UI", 100, 110);
  for (std::uint32_t p = 125; p <= 200; p += 25) o.Position(p, 10 + p);
  o.Result("succeeded", "The firmware updated successfully.", 0);
}

TEST(Output, PlainLinesReportEveryTenthOfTheRange) {
  const auto [out, err] = Capture(OutputMode::Plain, SmallUpdate);
  EXPECT_EQ(out,
            "Progress: Initializing\nProgress: Application\n"
            "Application: 20% (20 of 100)\nApplication: 40% (40 of 100)\n"
            "Application: 60% (60 of 100)\nApplication: 80% (80 of 100)\n"
            "Application: 100% (100 of 100)\nProgress: UI\n"
            "UI: 25% (25 of 100)\nUI: 50% (50 of 100)\nUI: 75% (75 of 100)\n"
            "UI: 100% (100 of 100)\n"
            "The firmware updated successfully.\n");
  EXPECT_EQ(err, "");
}

TEST(Output, JsonGivesOneEventPerLine) {
  const auto [out, err] = Capture(OutputMode::Json, [](Output& o) {
    SmallUpdate(o);
    o.Error("Socket Error: Socket creation failed.");
  });
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < out.size()) {
    const auto end = out.find('\n', at);
    lines.push_back(out.substr(at, end - at));
    at = end + 1;
  }
  ASSERT_EQ(lines.size(), 15u);  // 3 stages, range, 9 positions, result, error
  EXPECT_EQ(lines[0],
            R"({"event":"stage","stage":"Initializing","text":"Progress: Initializing"})");
  EXPECT_EQ(lines[1], R"({"event":"range","total":200})");
  EXPECT_EQ(lines[3], R"({"event":"progress","stage":"Application","position":20,"total":200})");
  EXPECT_EQ(lines[8], R"({"event":"stage","stage":"UI","text":"Progress: UI"})");
  EXPECT_EQ(
      lines[13],
      R"({"event":"result","result":"succeeded","text":"The firmware updated successfully.","exit_code":0})");
  EXPECT_EQ(lines[14], R"({"event":"error","text":"Socket Error: Socket creation failed."})");
  EXPECT_EQ(err, "Socket Error: Socket creation failed.\n");
}

TEST(Output, JsonEventsEscapeTextAndKeepOneObjectPerLine) {
  const auto [out, err] = Capture(OutputMode::Json, [](Output& o) {
    o.Event({{"event", "result"},
             {"text", "Line one.\n  * \"quoted\" \\ tab\t\x01"},
             {"exit_code", 2},
             {"ok", false}});
    o.Line("bad \xff byte");  // replaced, never thrown about
  });
  EXPECT_EQ(out,
            "{\"event\":\"result\",\"text\":\"Line one.\\n  * \\\"quoted\\\" \\\\ tab\\t\\u0001\","
            "\"exit_code\":2,\"ok\":false}\n"
            "{\"event\":\"message\",\"text\":\"bad \xef\xbf\xbd byte\"}\n");
  EXPECT_EQ(err, "");
}

TEST(Output, TheTerminalBarIsRedrawnInPlaceAndEndedByTheResult) {
  const auto [out, err] = Capture(OutputMode::Terminal, SmallUpdate);
  EXPECT_NE(out.find("\rApplication [########################] 100.0%  100/100  "),
            std::string::npos);
  EXPECT_NE(out.find("\rUI [########################] 100.0%  100/100  "), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 36), "\nThe firmware updated successfully.\n");
  EXPECT_EQ(err, "");
}

TEST(Output, FailuresGoToStandardError) {
  const auto [out, err] = Capture(OutputMode::Plain, [](Output& o) {
    o.Result("failed", "The firmware update could not complete.", 1);
  });
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "The firmware update could not complete.\n");
}

}  // namespace
}  // namespace tessaline::cli
