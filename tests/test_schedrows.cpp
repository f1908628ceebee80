// The timer table: row values, labels, locked rows, the edit form and the
// form variables published after the table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/timer.h"
#include "store/padding_defaults.h"
#include "store/timer_rows.h"
#include "support/firmware.h"
#include "support/screen_channels.h"
#include "support/stdout_capture.h"
#include "support/timer_store_test.h"
#include "views/html/list_screen.h"
#include "views/html/schedrows.h"

namespace {

constexpr const char* kChecked = "checked=\"checked\" ";

// The row variables in the order the row template below prints them; the
// ctime text of "timestamp" ends each row with its newline.
const std::vector<std::string> kRowVariables = {
    "id",      "parity",    "dot",    "channel", "timerday", "hh",       "ehh",
    "mm",      "emm",       "hours",  "fhours",  "mins",     "fmins",    "prepad",
    "postpad", "showtitle", "target", "rowtick", "titlink",  "timestamp"};

std::string rowTemplate() {
  std::string text;
  for (const std::string& name : kRowVariables) {
    if (!text.empty()) text += '|';
    text += "<!--%quib var=\"" + name + "\" %-->";
  }
  return text;
}

struct Row {
  std::vector<std::string> fields;
  const std::string& operator[](const std::string& name) const {
    for (size_t i = 0; i < kRowVariables.size(); ++i) {
      if (kRowVariables[i] == name) return fields.at(i);
    }
    throw std::out_of_range(name);
  }
};

std::vector<Row> parseRows(const std::string& output) {
  std::vector<Row> rows;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    Row row;
    const std::string line = output.substr(start, end - start);
    size_t from = 0;
    for (;;) {
      const size_t bar = line.find('|', from);
      row.fields.push_back(line.substr(from, bar - from));
      if (bar == std::string::npos) break;
      from = bar + 1;
    }
    rows.push_back(row);
    start = end + 1;
  }
  return rows;
}

class SchedrowsTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    writeFile("rows.inc.shtml", rowTemplate());
    writeFile("checkbox.shtml", "[tick <!--%quib var=\"id\" %-->]");
    writeFile("titlink.shtml",
              "<a href=\"<!--%quib var=\"selfLink\" %-->k=<!--%quib var=\"id\" %-->\">"
              "<!--%quib var=\"showtitle\" %--></a>");
    context.elements = strelem("msg", "", strelem("selfLink", "skedra.cgi?", nullptr));
    context.processor = commandProcessor;
    context.userData = &state;
    setZone("UTC");
  }

  void TearDown() override {
    disposeElems(std::move(context.elements));
    ScreenTest::TearDown();
  }

  static void setZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

  int64_t insert(FirmwareTimer timer) { return firmwareInsert(dbPath, timer); }

  std::vector<Row> render() {
    state.rows = readTimerRows();
    output = captureStdout([&] { execSchedrows("rows.inc.shtml", &context); });
    return parseRows(output);
  }

  // Names of the context's list from the head, joined by commas.
  std::string names() const {
    std::string all;
    for (const Element* e = context.elements.get(); e != nullptr; e = e->next.get()) {
      if (!all.empty()) all += ',';
      all += std::string(e->name);
    }
    return all;
  }

  // A variable of the list as a page directive would print it.
  std::string var(const std::string& name) {
    const Element* element = getElement(context.elements.get(), name);
    if (element == nullptr) return "<none>";
    if (element->kind == kElementInt) return std::to_string(element->number);
    return std::string(element->text);
  }

  ScreenState state;
  TemplateContext context;
  std::string output;
};

const char* const kFormNames =
    "key,tfTitle,tfQualHQ,tfQualSP,tfTargetHDD,tfTargetUSB,tfDisabledYes,tfDisabledNo,tfDay,"
    "tfMonth,tfYear,tfHh,tfMm,tfHours,tfMins,tfPrepad,tfPostpad,tfRepeat,tfDate,tfStart,tfEnd";

TEST_F(SchedrowsTest, EmptyTableRendersNothingAndStillPublishesTheForm) {
  prePopulateTimerForm(state.form, {});
  EXPECT_TRUE(render().empty());
  EXPECT_EQ(output, "");
  EXPECT_EQ(names(), std::string(kFormNames) + ",conflictLinks,conflicts,msg,selfLink");
  EXPECT_EQ(getElement(context.elements.get(), "key")->kind, kElementInt);
  EXPECT_EQ(getElement(context.elements.get(), "tfTitle")->kind, kElementText);
  EXPECT_EQ(var("key"), "0");
  EXPECT_EQ(var("tfTitle"), "Web Timer");
  EXPECT_EQ(var("tfQualHQ"), kChecked);
  EXPECT_EQ(var("tfQualSP"), "");
  EXPECT_EQ(var("tfTargetHDD"), kChecked);
  EXPECT_EQ(var("tfTargetUSB"), "");
  EXPECT_EQ(var("tfDisabledYes"), kChecked);
  EXPECT_EQ(var("tfDisabledNo"), "");
  EXPECT_EQ(var("tfHours"), "0");
  EXPECT_EQ(var("tfMins"), "30");
  EXPECT_EQ(var("tfYear"), std::to_string(state.form.year));
}

TEST_F(SchedrowsTest, DerivesMarginsEndAndFullLengthInLocalTime) {
  // Central European time, with its daylight-saving rule: 4 March is UTC+1.
  setZone("CET-1CEST,M3.5.0,M10.5.0/3");
  FirmwareTimer timer;
  timer.year = 2025, timer.month = 3, timer.day = 4, timer.hour = 20, timer.minute = 15;
  timer.lengthHour = 1, timer.lengthMinute = 30;
  timer.timestampStart = localSeconds(2025, 3, 4, 20, 15) - 300;
  timer.timestampOffset = 100 * 60;
  insert(timer);
  // Ends after midnight; margins that are not whole minutes truncate toward 0.
  timer.hour = 23, timer.minute = 30, timer.lengthHour = 1, timer.lengthMinute = 0;
  timer.timestampStart = localSeconds(2025, 3, 4, 23, 30) + 90;
  timer.timestampOffset = 3600 + 30;
  insert(timer);

  const std::vector<Row> rows = render();
  ASSERT_EQ(rows.size(), 2u) << output;
  const Row& first = rows[0];
  EXPECT_EQ(first["hh"], "20");
  EXPECT_EQ(first["mm"], "15");
  EXPECT_EQ(first["hours"], "1");
  EXPECT_EQ(first["mins"], "30");
  EXPECT_EQ(first["prepad"], "5");
  EXPECT_EQ(first["postpad"], "5");
  EXPECT_EQ(first["ehh"], "21");
  EXPECT_EQ(first["emm"], "45");
  EXPECT_EQ(first["fhours"], "1");
  EXPECT_EQ(first["fmins"], "40");
  EXPECT_EQ(first["timestamp"], "Tue Mar  4 20:10:00 2025");
  const Row& second = rows[1];
  EXPECT_EQ(second["ehh"], "0");
  EXPECT_EQ(second["emm"], "30");
  EXPECT_EQ(second["prepad"], "-1");
  EXPECT_EQ(second["postpad"], "1");
  EXPECT_EQ(second["fhours"], "1");
  EXPECT_EQ(second["fmins"], "0");
}

// A firmware row that the triggers gave the defaults 5 and 10 minutes lists
// them in every kind of hour, with one span from its start as read (a
// skipped 2:30 reads as 3:30) to its end; rows past the 32-bit clock list
// their own dates on every build.
TEST_F(SchedrowsTest, FirmwareRowsListTheirDefaultsInEveryHour) {
  struct Case {
    const char* zone;
    int year, month, day, hh, mm;  // one hour long
    const char* start;             // "hh|ehh|mm|emm" as listed
    const char* timestamp;
  } cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2027, 3, 28, 2, 30, "3|4|30|30", "Sun Mar 28 03:25:00 2027"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2038, 1, 19, 4, 0, "4|5|0|0", "Tue Jan 19 03:55:00 2038"},
      {"EST5EDT,M3.2.0,M11.1.0", 2027, 11, 7, 1, 30, "1|2|30|30", "Sun Nov  7 01:25:00 2027"},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", 2039, 1, 15, 20, 15, "20|21|15|15",
       "Sat Jan 15 20:10:00 2039"},
      {"<-04>4<-03>,M9.1.6/24,M4.1.6/24", 2027, 9, 5, 0, 30, "1|2|30|30",
       "Sun Sep  5 01:25:00 2027"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.year));
    setZone(c.zone);
    TestDb(dbPath).exec("delete from timer_record_table");
    savePaddingDefaults(300, 600);
    FirmwareTimer timer;
    timer.year = c.year, timer.month = c.month, timer.day = c.day;
    timer.hour = c.hh, timer.minute = c.mm;
    insert(timer);
    const std::vector<Row> rows = render();
    ASSERT_EQ(rows.size(), 1u) << output;
    const Row& r = rows[0];
    EXPECT_EQ(r["hh"] + "|" + r["ehh"] + "|" + r["mm"] + "|" + r["emm"], c.start);
    EXPECT_EQ(r["prepad"], "5");
    EXPECT_EQ(r["postpad"], "10");
    EXPECT_EQ(r["timestamp"], c.timestamp);
  }
}

TEST_F(SchedrowsTest, LabelsChannelsAsAVKnownChannelOrBareNumber) {
  struct Case {
    int32_t source, channel;
    std::string label;
  };
  const std::vector<Case> cases = {
      {1, 5, "AV"},  // the external input, whatever the channel column holds
      {10, 5, "5 News (105)"},
      {10, 9, "9 Sport"},  // the first of two channels numbered 9
      {10, 77, "&lt; 77 &gt;"},
      {10, 12, "12 Kids &lt;Fun&gt; &amp; &quot;Co&quot;"},
      {10, 65535, "AV"},           // -1 as a signed 16-bit number
      {10, 65536 + 9, "9 Sport"},  // read as 16 bits
      {10, -7, "-7 Minus"},
      {10, 300, std::string("300 ") + kScreenLongChannelName + " (301)"},
  };
  for (const Case& c : cases) {
    FirmwareTimer timer;
    timer.source = c.source;
    timer.channel = c.channel;
    insert(timer);
  }
  const std::vector<Row> rows = render();
  ASSERT_EQ(rows.size(), cases.size()) << output;
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(rows[i]["channel"], cases[i].label) << "row " << i;
  }
}

TEST_F(SchedrowsTest, LabelsDaysByDateCodeOrRepeatPattern) {
  const std::vector<std::pair<int32_t, std::string>> cases = {
      {0, "4/03/2025"},       {1, "Everyday"},        {3, "Mon-Sat"},         {11, "Sat"},
      {12, "[12] 4/03/2025"}, {20, "[20] 4/03/2025"}, {-1, "[-1] 4/03/2025"},
  };
  for (const auto& [code, label] : cases) {
    FirmwareTimer timer;
    timer.repeat = code;
    timer.year = 2025, timer.month = 3, timer.day = 4;
    insert(timer);
  }
  const std::vector<Row> rows = render();
  ASSERT_EQ(rows.size(), cases.size()) << output;
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(rows[i]["timerday"], cases[i].second) << "code " << cases[i].first;
  }
}

TEST_F(SchedrowsTest, LockedRowsHaveNoTickAndAPlainEscapedTitle) {
  FirmwareTimer timer;
  timer.title = "News & Weather <live>";
  insert(timer);
  timer.title = "\"Quoted\" 'x'";
  timer.lock = 1;
  timer.enable = 1;
  timer.target = 1;
  insert(timer);
  timer.title = "Third";
  timer.lock = 0;
  timer.enable = 0;
  insert(timer);

  const std::vector<Row> rows = render();
  ASSERT_EQ(rows.size(), 3u) << output;
  EXPECT_EQ(rows[0]["parity"], "even");
  EXPECT_EQ(rows[1]["parity"], "odd");
  EXPECT_EQ(rows[2]["parity"], "even");

  EXPECT_EQ(rows[0]["showtitle"], "News &amp; Weather &lt;live&gt;");
  EXPECT_EQ(rows[0]["rowtick"], "[tick 1]");
  // The title link is expanded over the whole list: page and row variables.
  EXPECT_EQ(rows[0]["titlink"], "<a href=\"skedra.cgi?k=1\">News &amp; Weather &lt;live&gt;</a>");
  EXPECT_EQ(rows[0]["dot"], "enabled");
  EXPECT_EQ(rows[0]["target"], "HDD");

  EXPECT_EQ(rows[1]["rowtick"], "");
  EXPECT_EQ(rows[1]["titlink"], "&quot;Quoted&quot; &#39;x&#39;");
  EXPECT_EQ(rows[1]["dot"], "disabled");
  EXPECT_EQ(rows[1]["target"], "USB");

  EXPECT_EQ(rows[2]["rowtick"], "[tick 3]");
  // The row variables are gone after the table; only the form was added.
  EXPECT_EQ(names(), std::string(kFormNames) + ",conflictLinks,conflicts,msg,selfLink");
}

TEST_F(SchedrowsTest, UpdateModeCopiesTheEditedRowIntoTheForm) {
  FirmwareTimer other;
  other.title = "Other";
  insert(other);
  FirmwareTimer edited;
  edited.repeat = 3;
  edited.year = 2025, edited.month = 3, edited.day = 5, edited.hour = 7, edited.minute = 5;
  edited.lengthHour = 0, edited.lengthMinute = 45;
  edited.source = 1;
  edited.channel = 9;
  edited.quality = 0;
  edited.target = 1;
  edited.enable = 1;
  edited.lock = 0;
  edited.timestampStart = localSeconds(2025, 3, 5, 7, 5) - 120;
  edited.timestampOffset = 45 * 60 + 120 + 600;
  edited.title = "Kids & \"Co\"";
  state.editKey = static_cast<int32_t>(insert(edited));
  state.command = "update";

  render();
  const TimerForm& form = state.form;
  EXPECT_EQ(form.id, state.editKey);
  EXPECT_EQ(form.channel, -1);
  EXPECT_EQ(form.day, 5);
  EXPECT_EQ(form.month, 3);
  EXPECT_EQ(form.year, 2025);
  EXPECT_EQ(form.hh, 7);
  EXPECT_EQ(form.mm, 5);
  EXPECT_EQ(form.hours, 0);
  EXPECT_EQ(form.mins, 45);
  EXPECT_EQ(form.repeat, 3);
  EXPECT_EQ(form.prepad, 2);
  EXPECT_EQ(form.postpad, 10);
  EXPECT_EQ(form.title, "Kids & \"Co\"");
  EXPECT_EQ(form.quality, 0);
  EXPECT_EQ(form.target, 1);
  EXPECT_EQ(form.enable, 1);

  EXPECT_EQ(var("key"), std::to_string(state.editKey));
  EXPECT_EQ(var("tfTitle"), "Kids &amp; &quot;Co&quot;");
  EXPECT_EQ(var("tfQualHQ"), "");
  EXPECT_EQ(var("tfQualSP"), kChecked);
  EXPECT_EQ(var("tfTargetHDD"), "");
  EXPECT_EQ(var("tfTargetUSB"), kChecked);
  EXPECT_EQ(var("tfDisabledYes"), "");
  EXPECT_EQ(var("tfDisabledNo"), kChecked);
  EXPECT_EQ(var("tfDay"), "5");
  EXPECT_EQ(var("tfMm"), "5");
  EXPECT_EQ(var("tfMins"), "45");
  EXPECT_EQ(var("tfPrepad"), "2");
  EXPECT_EQ(var("tfPostpad"), "10");
  EXPECT_EQ(var("tfRepeat"), "3");
  // The pickers: its date, its start and its end after 45 minutes.
  EXPECT_EQ(var("tfDate"), "2025-03-05");
  EXPECT_EQ(var("tfStart"), "07:05");
  EXPECT_EQ(var("tfEnd"), "07:50");
}

TEST_F(SchedrowsTest, EditKeyWithoutRowLeavesTheFormCleared) {
  insert(FirmwareTimer{});
  state.editKey = 999;
  state.command = "update";
  render();
  EXPECT_EQ(state.form.id, 0);
  EXPECT_EQ(state.form.title, "");
  EXPECT_EQ(var("tfTitle"), "");
  EXPECT_EQ(var("tfYear"), "0");
  EXPECT_EQ(var("tfDay"), "0");
  EXPECT_EQ(var("tfQualSP"), kChecked);
  EXPECT_EQ(var("tfDisabledYes"), kChecked);
}

TEST_F(SchedrowsTest, MissingTemplatesAndNullTitlesRenderEmpty) {
  FirmwareTimer timer;
  insert(timer);
  TestDb(dbPath).exec("update timer_record_table set user_string = null");
  unlink("checkbox.shtml");
  unlink("titlink.shtml");
  std::vector<Row> rows = render();
  ASSERT_EQ(rows.size(), 1u) << output;
  EXPECT_EQ(rows[0]["showtitle"], "");
  EXPECT_EQ(rows[0]["rowtick"], "");
  EXPECT_EQ(rows[0]["titlink"], "");

  disposeElems(std::move(context.elements));
  context.elements = strelem("msg", "", nullptr);
  output = captureStdout([&] { execSchedrows("no-such-rows.shtml", &context); });
  EXPECT_EQ(output, "");
  EXPECT_EQ(names(), std::string(kFormNames) + ",conflictLinks,conflicts,msg");
}

TEST_F(SchedrowsTest, FailingQueryEndsTheRequestWithStatusOne) {
  TestDb(dbPath).exec("drop table timer_record_table");
  EXPECT_EXIT(
      {
        // The response goes to a file, so that it can be checked afterwards.
        freopen(failureOutput.c_str(), "w", stdout);
        readTimerRows();
      },
      ::testing::ExitedWithCode(1), "");
  EXPECT_NE(
      readFile(failureOutput)
          .find("SQL error code: 1, message: \"no such table: timer_record_table\" at line 50\n"),
      std::string::npos)
      << readFile(failureOutput);
}

TEST(ApplyTemplate, IncludesGoStraightToTheResponse) {
  TempDir dir;
  writeFile(dir.file("part.shtml"), "part <!--%quib var=\"id\" %-->");
  ElementList list = intelem("id", 3, nullptr);
  std::string result;
  const std::string written = captureStdout([&] {
    result = applyTemplate("a<!--%quib include=\"" + dir.file("part.shtml") + "\" %-->b", list);
  });
  EXPECT_EQ(result, "ab");
  EXPECT_EQ(written, "part 3");
  disposeElems(std::move(list));
}

TEST_F(SchedrowsTest, LoadsTheSchedulesOfEveryTimerInTableOrder) {
  FirmwareTimer timer;
  timer.title = "Film";
  timer.repeat = 2;
  timer.timestampStart = firmwareStartSeconds(2030, 5, 3, 19, 55);
  timer.timestampOffset = 70 * 60;
  const int64_t first = insert(timer);
  timer.title = "Camera";
  timer.repeat = 0;
  timer.source = 1;
  timer.enable = 1;
  timer.hour = 6;
  timer.minute = 45;
  timer.timestampStart = std::nullopt;
  timer.timestampOffset = std::nullopt;
  const int64_t second = insert(timer);
  const std::vector<TimerSchedule> timers = loadTimerSchedules();
  ASSERT_EQ(timers.size(), 2u);
  EXPECT_EQ(timers[0].id, first);
  EXPECT_EQ(timers[0].title, "Film");
  EXPECT_EQ(timers[0].repeat, 2);
  EXPECT_EQ(timers[0].timestampStart, firmwareStartSeconds(2030, 5, 3, 19, 55));
  EXPECT_EQ(timers[0].timestampOffset, 70 * 60);
  EXPECT_TRUE(timers[0].active);
  EXPECT_FALSE(timers[0].av);
  EXPECT_EQ(timers[1].id, second);
  EXPECT_EQ(timers[1].year * 10000 + timers[1].month * 100 + timers[1].day, 20300503);
  EXPECT_EQ(timers[1].hh * 100 + timers[1].mm, 645);
  EXPECT_FALSE(timers[1].active);
  EXPECT_TRUE(timers[1].av);
}

}  // namespace
