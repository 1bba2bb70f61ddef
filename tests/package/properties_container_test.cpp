// Properties texts: key and value rules, first definition wins, look-ups, help pages, limits.
#include "package/properties_container.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/temp_file.h"

namespace tessaline {
namespace {

struct LineCase {
  const char* what;
  std::string line;
  std::string key;
  std::string value;
};

TEST(PropertiesContainer, ParsesKeysAndValues) {
  const std::vector<LineCase> cases = {
      {"blanks around the first =", "model \t\t\t= Tessaline", "model", "Tessaline"},
      {"only the first = separates", "k = x=y", "k", "x=y"},
      {"no = makes a key with an empty value", "  lonely key\t", "lonely key", ""},
      {"a leading = makes an empty key", "= value", "", "value"},
      {"backslash n is a line break", "k=x\\ny", "k", "x\ny"},
      {"two in a row give an empty line", "k=a\\n\\nb", "k", "a\n\nb"},
      {"other escapes stay", "k=x\\ty\\", "k", "x\\ty\\"},
      {"only TAB and SPACE are blanks", "k=\v value \f", "k", "\v value \f"},
      {"an escaped break at the end is kept", "k=text\\n  ", "k", "text\n"},
      {"keys may hold dots and spaces", "help-message.Unit Preparation.1\t= p",
       "help-message.Unit Preparation.1", "p"},
      {"UTF-8 passes through", "caf\xC3\xA9 = cr\xC3\xA8me", "caf\xC3\xA9", "cr\xC3\xA8me"},
  };
  for (const LineCase& c : cases) {
    PropertiesContainer properties;
    EXPECT_TRUE(properties.ParseLine(c.line)) << c.what;
    ASSERT_EQ(properties.Size(), 1u) << c.what;
    const std::string* value = properties.Lookup(c.key);
    ASSERT_NE(value, nullptr) << c.what;
    EXPECT_EQ(*value, c.value) << c.what;
  }
}

TEST(PropertiesContainer, FirstDefinitionWinsAndKeysAreCaseSensitive) {
  PropertiesContainer properties;
  const test::TempFile file("model = First\r\nmodel = Second\r\nModel = Upper\r\n");
  ASSERT_TRUE(properties.LoadFromFile(file.Path()));
  EXPECT_EQ(properties.GetString("model"), "First");
  EXPECT_EQ(properties.GetString("Model"), "Upper");
  EXPECT_EQ(properties.Lookup("MODEL"), nullptr);
  EXPECT_EQ(properties.Size(), 2u);

  // A second load only adds keys the container does not hold yet.
  const test::TempFile more("model = Third\nextra = e\n");
  ASSERT_TRUE(properties.LoadFromFile(more.Path()));
  EXPECT_EQ(properties.GetString("model"), "First");
  EXPECT_EQ(properties.GetString("extra"), "e");
}

TEST(PropertiesContainer, AbsentKeysReadAsEmptyOrNull) {
  PropertiesContainer properties;
  properties.AddProperty("present", "");
  EXPECT_EQ(properties.Lookup("absent"), nullptr);
  EXPECT_EQ(properties.GetString("absent"), "");
  ASSERT_NE(properties.Lookup("present"), nullptr);
  EXPECT_EQ(*properties.Lookup("present"), "");
}

TEST(PropertiesContainer, StoredValuesStayPutWhileEntriesAreAdded) {
  PropertiesContainer properties;
  properties.AddProperty("first", "v");
  const std::string* first = properties.Lookup("first");
  for (int i = 0; i < 1000; ++i) properties.AddProperty(std::to_string(i), "value");
  EXPECT_EQ(properties.Lookup("first"), first);
  EXPECT_EQ(*first, "v");
}

TEST(PropertiesContainer, CutsOverlongKeysAndValues) {
  PropertiesContainer properties;
  const std::string key(kMaxKeyLength + 40, 'k');
  const std::string value(kMaxValueLength + 40, 'v');
  properties.ParseLine(key + " = " + value);
  ASSERT_EQ(properties.Lookup(key), nullptr);
  const std::string* stored = properties.Lookup(key.substr(0, kMaxKeyLength));
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(*stored, value.substr(0, kMaxValueLength));

  // The limit counts unescaped bytes, and a cut never leaves trailing blanks.
  PropertiesContainer escaped;
  std::string line = "e=";
  for (std::size_t i = 0; i < kMaxValueLength; ++i) line += "\\n";
  escaped.ParseLine(line);
  EXPECT_EQ(escaped.GetString("e"), std::string(kMaxValueLength, '\n'));

  PropertiesContainer blanks;
  blanks.ParseLine("b=" + std::string(kMaxValueLength - 1, 'x') + "   y");
  EXPECT_EQ(blanks.GetString("b"), std::string(kMaxValueLength - 1, 'x'));
}

TEST(PropertiesContainer, HelpPagesRunToTheFirstGap) {
  PropertiesContainer properties;
  const std::string topic = "help-message.Updater Instructions";
  for (int page : {1, 2, 3, 5}) {
    properties.AddProperty(topic + "." + std::to_string(page), "page " + std::to_string(page));
  }
  properties.AddProperty("help-message.Empty.1", "one");
  properties.AddProperty("help-message.Empty.2", "");
  properties.AddProperty("help-message.Empty.3", "three");
  EXPECT_EQ(properties.HelpPages(topic), (std::vector<std::string>{"page 1", "page 2", "page 3"}));
  EXPECT_EQ(properties.HelpPages("help-message.Empty"), std::vector<std::string>{"one"});
  EXPECT_TRUE(properties.HelpPages("help-message.None").empty());
}

TEST(PropertiesContainer, HelpPagesStopAfterTheLastPageNumber) {
  PropertiesContainer properties;
  for (std::uint32_t page = 1; page <= kMaxHelpPages + 5; ++page) {
    properties.AddProperty(PropertiesContainer::HelpPageKey("t", page), "p");
  }
  EXPECT_EQ(properties.HelpPages("t").size(), kMaxHelpPages);
}

TEST(PropertiesContainer, PageKeysAreCutAndACutKeyEndsThePages) {
  EXPECT_EQ(PropertiesContainer::HelpPageKey("help-message.Updater Instructions", 3),
            "help-message.Updater Instructions.3");
  EXPECT_EQ(PropertiesContainer::HelpPageKey("t", 120), "t.120");

  const std::string topic(kMaxPageKeyLength - 2, 't');  // room for ".N" but not ".NN"
  EXPECT_EQ(PropertiesContainer::HelpPageKey(topic, 9).size(), kMaxPageKeyLength);
  EXPECT_EQ(PropertiesContainer::HelpPageKey(topic, 10).size(), kMaxPageKeyLength);

  PropertiesContainer properties;
  for (std::uint32_t page = 1; page <= 12; ++page) {
    properties.AddProperty(PropertiesContainer::HelpPageKey(topic, page), "p");
  }
  EXPECT_EQ(properties.HelpPages(topic).size(), 9u);
  EXPECT_TRUE(properties.HelpPages(std::string(kMaxPageKeyLength, 'x')).empty());
}

}  // namespace
}  // namespace tessaline
