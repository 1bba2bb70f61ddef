// Line splitting shared by every loadable text: line ends, blank lines, last lines, cuts.
#include "package/loadable_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/temp_file.h"

namespace tessaline {
namespace {

class RecordingText : public LoadableText {
 public:
  bool ParseLine(std::string_view line) override {
    lines.emplace_back(line);
    numbers.push_back(CurrentLineNumber());
    cut.push_back(CurrentLineWasCut());
    return stopAfter == 0 || lines.size() < stopAfter;
  }
  bool Reset() override {
    ++resets;
    return allowReset;
  }
  bool Load(std::string_view text) {
    return LoadFromBytes({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  }

  std::vector<std::string> lines;
  std::vector<std::uint32_t> numbers;
  std::vector<bool> cut;
  std::size_t stopAfter = 0;
  int resets = 0;
  bool allowReset = true;
};

struct SplitCase {
  const char* what;
  std::string text;
  std::vector<std::string> lines;
  std::vector<std::uint32_t> numbers;
};

TEST(LoadableText, SplitsLinesAsThePackageTextsNeed) {
  const std::vector<SplitCase> cases = {
      {"CR LF lines", "a=1\r\nb=2\r\n", {"a=1", "b=2"}, {1, 2}},
      {"LF and lone CR lines", "a\nb\rc\n", {"a", "b", "c"}, {1, 2, 3}},
      {"blank lines never arrive", "a\r\n\r\n\r\nb\n\n", {"a", "b"}, {1, 4}},
      {"a last line without a line end still counts", "a\r\n\r\nlast", {"a", "last"}, {1, 3}},
      {"a text without any line end is one line", "only", {"only"}, {1}},
      {"a leading line end yields one empty line", "\r\na\r\n", {"", "a"}, {1, 2}},
      {"a leading run of line ends still yields one", "\n\n\nx\n", {"", "x"}, {1, 4}},
      {"LF CR counts as two line ends", "a\n\rb\n", {"a", "b"}, {1, 3}},
      {"an empty text", "", {}, {}},
  };
  for (const SplitCase& c : cases) {
    RecordingText text;
    EXPECT_TRUE(text.Load(c.text)) << c.what;
    EXPECT_EQ(text.lines, c.lines) << c.what;
    EXPECT_EQ(text.numbers, c.numbers) << c.what;
  }
}

TEST(LoadableText, CutsOverlongLinesWithoutSplittingACharacter) {
  RecordingText text;
  const std::string longLine(kMaxLineLength + 100, 'x');
  ASSERT_TRUE(text.Load(longLine + "\r\nnext\r\n"));
  ASSERT_EQ(text.lines.size(), 2u);
  EXPECT_EQ(text.lines[0].size(), kMaxLineLength);
  EXPECT_TRUE(text.cut[0]);
  EXPECT_EQ(text.lines[1], "next");
  EXPECT_FALSE(text.cut[1]);

  // A two-byte character straddling the limit is dropped whole.
  RecordingText utf8;
  const std::string straddling = std::string(kMaxLineLength - 1, 'y') + "\xC3\xA9" + "tail";
  ASSERT_TRUE(utf8.Load(straddling + "\n"));
  EXPECT_EQ(utf8.lines[0], std::string(kMaxLineLength - 1, 'y'));

  RecordingText exact;
  ASSERT_TRUE(exact.Load(std::string(kMaxLineLength, 'z') + "\n"));
  EXPECT_EQ(exact.lines[0].size(), kMaxLineLength);
  EXPECT_FALSE(exact.cut[0]);
}

TEST(LoadableText, AFalseParseLineStopsTheLoad) {
  RecordingText text;
  text.stopAfter = 2;
  EXPECT_FALSE(text.Load("a\nb\nc\n"));
  EXPECT_EQ(text.lines, (std::vector<std::string>{"a", "b"}));
}

TEST(LoadableText, FileLoadFollowsTheSameLineRules) {
  const test::TempFile file("\r\nkey=value\r\n\r\nsecond\nlast");
  RecordingText text;
  ASSERT_TRUE(text.LoadFromFile(file.Path()));
  EXPECT_EQ(text.resets, 1);
  EXPECT_EQ(text.lines, (std::vector<std::string>{"", "key=value", "second", "last"}));
  EXPECT_EQ(text.numbers, (std::vector<std::uint32_t>{1, 2, 4, 5}));
}

TEST(LoadableText, LoadsFailWhenResetRefusesOrNothingIsThere) {
  const test::TempFile file("a\n");
  RecordingText refusing;
  refusing.allowReset = false;
  EXPECT_FALSE(refusing.LoadFromFile(file.Path()));
  EXPECT_FALSE(refusing.LoadFromResource("UNIT", "PROPERTIES"));
  EXPECT_TRUE(refusing.lines.empty());

  RecordingText missing;
  EXPECT_FALSE(missing.LoadFromFile(file.Path() + ".absent"));
  EXPECT_FALSE(missing.LoadFromResource("NO_SUCH_TEXT", "PROPERTIES"));
  EXPECT_FALSE(missing.LoadFromResource("UNIT", "NOTES"));
  EXPECT_EQ(missing.resets, 3);
  EXPECT_TRUE(missing.lines.empty());
}

}  // namespace
}  // namespace tessaline
