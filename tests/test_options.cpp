// The repeat and channel option lists, the channel labels and lookups, and
// the template loaders.
#include <gtest/gtest.h>

#include <string>

#include "support/screen_channels.h"
#include "support/stdout_capture.h"
#include "support/test_env.h"
#include "views/html/list_screen.h"
#include "views/html/options.h"

namespace {

// One option per line: value, label and marker between bars.
constexpr const char* kChannelTemplate =
    "<!--%quib var=\"channel\" %-->|<!--%quib var=\"chaname\" %-->|<!--%quib var=\"selected\" "
    "%-->\n";
constexpr const char* kRepeatTemplate =
    "<!--%quib var=\"repeat\" %-->|<!--%quib var=\"repname\" %-->|<!--%quib var=\"selected\" "
    "%-->\n";

constexpr const char* kMark = " selected=\"selected\"";

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(useScreenChannels(), nullptr);
    context.elements = strelem("msg", "", strelem("selfUrl", "skedra.cgi", nullptr));
    context.userData = &state;
    writeFile(channelTemplate, kChannelTemplate);
    writeFile(repeatTemplate, kRepeatTemplate);
  }

  std::string repeatOptions(int32_t repeat) {
    state.form.repeat = repeat;
    return captureStdout([&] { printRepeatOptions(repeatTemplate, &context); });
  }

  std::string channelOptions(int16_t channel) {
    state.form.channel = channel;
    return captureStdout([&] { printChannelOptions(channelTemplate, &context); });
  }

  // The names of the context's list from the head.
  std::string names() const {
    std::string all;
    for (const Element* e = context.elements.get(); e != nullptr; e = e->next.get()) {
      all += std::string(e->name) + ",";
    }
    return all;
  }

  TempDir dir;
  std::string channelTemplate = dir.file("chopts.inc.shtml");
  std::string repeatTemplate = dir.file("repopts.inc.shtml");
  ScreenState state;
  TemplateContext context;
};

// The twelve repeat options with the one marked code, or none (mark -1).
std::string expectedRepeatOptions(int marked) {
  const char* labels[] = {"Once", "Everyday", "Mon-Fri", "Mon-Sat", "Every Weekend", "Sun",
                          "Mon",  "Tue",      "Wed",     "Thu",     "Fri",           "Sat"};
  std::string text;
  for (int code = 0; code < 12; ++code) {
    text += std::to_string(code) + "|" + labels[code] + "|" + (code == marked ? kMark : "") + "\n";
  }
  return text;
}

TEST_F(OptionsTest, RepeatListHasTwelveCodesInOrderAndMarksOnlyANonzeroMatch) {
  EXPECT_EQ(repeatOptions(3), expectedRepeatOptions(3));
  EXPECT_EQ(repeatOptions(11), expectedRepeatOptions(11));
  // "Once" is never marked; codes outside the table mark nothing.
  EXPECT_EQ(repeatOptions(0), expectedRepeatOptions(-1));
  EXPECT_EQ(repeatOptions(20), expectedRepeatOptions(-1));
  EXPECT_EQ(repeatOptions(-1), expectedRepeatOptions(-1));
}

TEST_F(OptionsTest, ChannelListStartsWithAVThenFileOrderWithEscapedLabels) {
  const std::string longLabel = std::string("300 ") + kScreenLongChannelName + " (301)";
  ASSERT_GT(longLabel.size(), 64u);
  EXPECT_EQ(channelOptions(9),
            "AV|AV|\n"
            "5|5 News (105)|\n"
            "9|9 Sport|" +
                std::string(kMark) + "\n" + "9|9 Sport HD (109)|" + kMark + "\n" +
                "12|12 Kids &lt;Fun&gt; &amp; &quot;Co&quot;|\n"
                "AV|-7 Minus|\n" +
                "300|" + longLabel + "|\n");
}

// The label that leads with the name, so that typing a name finds it.
TEST_F(OptionsTest, ChannelLabelNameFirstIsEscapedBesideTheOtherVariables) {
  const std::string longLabel = std::string(kScreenLongChannelName) + " (300, 301)";
  writeFile(channelTemplate,
            "<!--%quib var=\"channel\" %-->|<!--%quib var=\"chlabel\" %-->|"
            "<!--%quib var=\"chaname\" %-->\n");
  EXPECT_EQ(
      channelOptions(5),
      "AV|AV|AV\n"
      "5|News (5, 105)|5 News (105)\n"
      "9|Sport (9)|9 Sport\n"
      "9|Sport HD (9, 109)|9 Sport HD (109)\n"
      "12|Kids &lt;Fun&gt; &amp; &quot;Co&quot; (12)|12 Kids &lt;Fun&gt; &amp; &quot;Co&quot;\n"
      "AV|Minus (-7)|-7 Minus\n"
      "300|" +
          longLabel + "|300 " + kScreenLongChannelName + " (301)\n");
}

TEST_F(OptionsTest, ChannelMarkingComparesSigned16BitNumbers) {
  std::string text = channelOptions(-1);
  EXPECT_EQ(text.substr(0, text.find('\n')), std::string("AV|AV|") + kMark);
  EXPECT_EQ(text.find(kMark), text.rfind(kMark)) << text;  // only the external input

  text = channelOptions(0);  // a new timer: no channel numbered 0
  EXPECT_EQ(text.find(kMark), std::string::npos) << text;

  text = channelOptions(-7);  // a negative channel: its option carries the value "AV"
  EXPECT_NE(text.find(std::string("AV|-7 Minus|") + kMark + "\n"), std::string::npos) << text;
  EXPECT_EQ(text.find(kMark), text.rfind(kMark)) << text;
}

TEST_F(OptionsTest, OptionVariablesAreGoneAfterEitherList) {
  const std::string before = names();
  channelOptions(9);
  EXPECT_EQ(names(), before);
  repeatOptions(3);
  EXPECT_EQ(names(), before);
  for (const char* name : {"channel", "chaname", "chlabel", "selected", "repeat", "repname"}) {
    EXPECT_EQ(getElement(context.elements.get(), name), nullptr) << name;
  }
}

TEST_F(OptionsTest, OptionTemplatesExpandEveryLineWithFormatsAndPageVariables) {
  writeFile(repeatTemplate,
            "<!--%quib var=\"repeat\" fmt=\"%03d\" %-->\n<!--%quib var=\"selfUrl\" %-->;");
  std::string expected;
  for (int code = 0; code < 12; ++code) {
    char line[32];
    std::snprintf(line, sizeof line, "%03d\nskedra.cgi;", code);
    expected += line;
  }
  EXPECT_EQ(repeatOptions(0), expected);
}

TEST_F(OptionsTest, MissingOrEmptyOptionTemplateGivesNoOutput) {
  writeFile(channelTemplate, "");
  EXPECT_EQ(channelOptions(9), "");
  repeatTemplate = dir.file("no-such-template.shtml");
  EXPECT_EQ(repeatOptions(3), "");
}

TEST(ChannelLabel, ShowsAlternateNumberOnlyWhenItDiffersAsSigned16Bit) {
  Channel sport{9, 9, "Sport", nullptr};
  Channel news{5, 105, "News", nullptr};
  Channel wrapped{-25536, 4464, "Film", nullptr};
  EXPECT_EQ(sprintfChannelLabel(sport), "9 Sport");
  EXPECT_EQ(sprintfChannelLabel(news), "5 News (105)");
  EXPECT_EQ(sprintfChannelLabel(wrapped), "-25536 Film (4464)");
  std::string nameFirst;
  appendNameFirstLabel(nameFirst, wrapped);
  EXPECT_EQ(nameFirst, "Film (-25536, 4464)");
  // No buffer limits the label.
  const std::string name(300, 'x');
  Channel longName{-32768, 32767, name.c_str(), nullptr};
  EXPECT_EQ(sprintfChannelLabel(longName), "-32768 " + name + " (32767)");
}

TEST(ChannelLookup, FindsTheFirstChannelOfANumber) {
  ASSERT_NE(useScreenChannels(), nullptr);
  const Channel* nine = getChannelByNo(9);
  ASSERT_NE(nine, nullptr);
  EXPECT_STREQ(nine->name, "Sport");
  ASSERT_NE(getChannelByNo(-7), nullptr);
  EXPECT_STREQ(getChannelByNo(-7)->name, "Minus");
  EXPECT_EQ(getChannelByNo(77), nullptr);
  // The number is an int: values beyond 16 bits match nothing.
  EXPECT_EQ(getChannelByNo(9 + 65536), nullptr);
}

TEST(LoadFile, TakesTheWholeFileUnchangedAndMissingFilesAsEmpty) {
  TempDir dir;
  const std::string text =
      "first <!--%quib var=\"msg\" %-->\n\nthird <!--%quib include=\"x.shtml\" %--> no newline";
  writeFile(dir.file("page.shtml"), text);
  EXPECT_EQ(loadFile(dir.file("page.shtml")), text);
  writeFile(dir.file("empty.shtml"), "");
  EXPECT_EQ(loadFile(dir.file("empty.shtml")), "");
  EXPECT_EQ(loadFile(dir.file("missing.shtml")), "");
  // A line longer than the engine's read buffer comes back whole.
  const std::string longLine = std::string(kQuibLineBufferSize * 2 + 17, 'a') + "\nend\n";
  writeFile(dir.file("long.shtml"), longLine);
  EXPECT_EQ(loadFile(dir.file("long.shtml")), longLine);
}

TEST(LoadLines, AppendsEachPieceToTheCollectedText) {
  std::string text = "so far;";
  TemplateContext context;
  context.userData = &text;
  loadLines("one ", &context);
  loadLines("", &context);
  loadLines("two\n", &context);
  EXPECT_EQ(text, "so far;one two\n");
}

}  // namespace
