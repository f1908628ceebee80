// Whole list screens through the real program with the shipped templates:
// what a signed-in user sees, and that the page's own forms drive the
// program (field names, values, the session carried in the URL).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "support/cgi_accounts.h"
#include "support/cgi_harness.h"
#include "support/firmware.h"
#include "support/screen_channels.h"
#include "support/test_env.h"

namespace {

constexpr const char* kNow = "@2026-12-05 19:58:00";  // UTC, the zone of every request

// The text between the first start and the next end after it ("" if absent).
std::string between(const std::string& text, const std::string& start, const std::string& end) {
  const size_t from = text.find(start);
  if (from == std::string::npos) return "";
  const size_t to = text.find(end, from + start.size());
  return text.substr(from, to == std::string::npos ? std::string::npos : to + end.size() - from);
}

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string htmlUnescape(std::string text) {
  const std::vector<std::pair<std::string, std::string>> entities = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, character] : entities) {
    for (size_t at = text.find(entity); at != std::string::npos;
         at = text.find(entity, at + character.size())) {
      text.replace(at, entity.size(), character);
    }
  }
  return text;
}

// application/x-www-form-urlencoded, as a browser sends a form.
std::string formEncode(const std::string& text) {
  std::string encoded;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '*' || c == '-' || c == '.' || c == '_') {
      encoded += static_cast<char>(c);
    } else if (c == ' ') {
      encoded += '+';
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      encoded += hex;
    }
  }
  return encoded;
}

// The name="value" attributes of one tag, values unescaped.
std::map<std::string, std::string> attributes(const std::string& tag) {
  std::map<std::string, std::string> found;
  size_t at = 0;
  while ((at = tag.find("=\"", at)) != std::string::npos) {
    size_t nameStart = at;
    while (nameStart > 0 && (std::isalnum(static_cast<unsigned char>(tag[nameStart - 1])) ||
                             tag[nameStart - 1] == '-')) {
      --nameStart;
    }
    const size_t valueEnd = tag.find('"', at + 2);
    if (valueEnd == std::string::npos) break;
    found[tag.substr(nameStart, at - nameStart)] =
        htmlUnescape(tag.substr(at + 2, valueEnd - at - 2));
    at = valueEnd + 1;
  }
  return found;
}

// Every tag of the form that starts with opener ("<input " ...), in order.
std::vector<std::string> tags(const std::string& form, const std::string& opener) {
  std::vector<std::string> found;
  for (size_t at = form.find(opener); at != std::string::npos; at = form.find(opener, at + 1)) {
    found.push_back(form.substr(at, form.find('>', at) + 1 - at));
  }
  return found;
}

struct Field {
  std::string name, value;
};

// The pairs a browser submits for a form (without its submit buttons):
// text, number and hidden inputs, checked boxes and radios, and each
// select's selected option (or its first one).
std::vector<Field> successfulControls(const std::string& form) {
  std::vector<Field> fields;
  for (const std::string& tag : tags(form, "<input ")) {
    const auto attrs = attributes(tag);
    const std::string type = attrs.count("type") ? attrs.at("type") : "text";
    if (!attrs.count("name")) continue;  // the page's own aids, never sent
    if ((type == "checkbox" || type == "radio") && !attrs.count("checked")) continue;
    if (type == "submit") continue;
    fields.push_back({attrs.at("name"), attrs.count("value") ? attrs.at("value") : "on"});
  }
  for (size_t at = form.find("<select "); at != std::string::npos;
       at = form.find("<select ", at + 1)) {
    const std::string select = form.substr(at, form.find("</select>", at) - at);
    std::string value;
    bool first = true;
    for (const std::string& option : tags(select, "<option ")) {
      const auto optionAttrs = attributes(option);
      if (first || optionAttrs.count("selected")) value = optionAttrs.at("value");
      first = false;
    }
    fields.push_back({attributes(tags(select, "<select ").at(0)).at("name"), value});
  }
  return fields;
}

std::set<std::string> controlNames(const std::string& form) {
  std::set<std::string> names;
  for (const char* opener : {"<input ", "<select ", "<button "}) {
    for (const std::string& tag : tags(form, opener)) {
      const auto attrs = attributes(tag);
      if (attrs.count("name")) names.insert(attrs.at("name"));
    }
  }
  return names;
}

// One row of the timer table as shown: its title (tags and the title link's
// line end taken out), its next recording and its overlap warning.
struct ShownRow {
  std::string title, nextrec, conflict;
  bool operator==(const ShownRow& other) const {
    return title == other.title && nextrec == other.nextrec && conflict == other.conflict;
  }
};

std::ostream& operator<<(std::ostream& out, const ShownRow& row) {
  return out << "{" << row.title << " | " << row.nextrec << " | " << row.conflict << "}";
}

std::vector<ShownRow> shownRows(const std::string& page) {
  // The text between start and the next end, both left out.
  auto inside = [](const std::string& text, const std::string& start, const std::string& end) {
    const size_t from = text.find(start);
    if (from == std::string::npos) return std::string("(none)");
    return text.substr(from + start.size(), text.find(end, from) - from - start.size());
  };
  std::vector<ShownRow> rows;
  const std::string table = between(page, "<tbody>", "</tbody>");
  for (size_t at = table.find("<tr "); at != std::string::npos; at = table.find("<tr ", at + 1)) {
    const std::string row = table.substr(at, table.find("</tr>", at) - at);
    std::string title;
    bool inTag = false;
    for (char c : inside(row, "<td class=\"title\">", "<span class=\"conflict\">")) {
      if (c == '<' || c == '>')
        inTag = c == '<';
      else if (!inTag && c != '\n')
        title += c;
    }
    rows.push_back({title, inside(row, "data-label=\"Next recording\">", "</td>"),
                    inside(row, "<span class=\"conflict\">", "</span>")});
  }
  return rows;
}

class CgiListScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    useScreenChannels();
    copyShippedTemplates(dir.path());
    createFirmwareSchema(timerDb);
    FirmwareTimer news;
    news.year = 2025, news.month = 3, news.day = 4, news.hour = 20, news.minute = 15;
    news.lengthHour = 1, news.lengthMinute = 30;
    news.channel = 5;
    news.quality = 1;
    news.timestampStart = firmwareStartSeconds(2025, 3, 4, 20, 15) - 300;
    news.timestampOffset = 100 * 60;
    news.title = "News & Weather <live>";
    firmwareInsert(timerDb, news);  // ID 1
    FirmwareTimer quoted;
    quoted.repeat = 3;
    quoted.source = 1;
    quoted.channel = 9;
    quoted.target = 1;
    quoted.enable = 1;
    quoted.title = "\"Quoted\"";
    firmwareInsert(timerDb, quoted);  // ID 2
    FirmwareTimer locked;
    locked.channel = 77;
    locked.lock = 1;
    locked.title = "Locked <film>";
    firmwareInsert(timerDb, locked);  // ID 3
  }

  CgiResponse get(const std::string& query) const {
    CgiRequest request;
    request.workDir = dir.path();
    request.timerDb = timerDb;
    request.query = query;
    request.fakeTime = kNow;
    request.signIn = true;
    return runFromPage(request);
  }

  TempDir dir;
  std::string timerDb = dir.file("schedule_record.db");
};

TEST_F(CgiListScreen, CreateModeShowsEveryTimerAndANewTimerForm) {
  const CgiResponse response = get("");
  ASSERT_EQ(response.exitStatus, 0) << response.output;
  const std::string& page = response.body;
  EXPECT_NE(response.header.find(kPageHeaderEnd), std::string::npos);
  EXPECT_EQ(page.rfind("<!DOCTYPE html>\n", 0), 0u) << page.substr(0, 200);
  EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_NE(page.find("<link rel=\"stylesheet\" href=\"../skedra.css\">"), std::string::npos);
  EXPECT_NE(page.find("</html>"), std::string::npos);
  EXPECT_EQ(count(page, "role=\"alert\" tabindex=\"-1\"></div>"), 2);
  EXPECT_NE(page.find("id=\"form-error\" tabindex=\"-1\"></div>"), std::string::npos);
  EXPECT_NE(page.find("<div class=\"msg msg-notice\" role=\"status\"></div>"), std::string::npos);
  EXPECT_NE(page.find("<div class=\"msg msg-warning\" role=\"status\"></div>"), std::string::npos);
  EXPECT_NE(page.find("<title>Recording timers</title>"), std::string::npos);
  EXPECT_NE(page.find("<link rel=\"icon\" href=\"../favicon.svg\" type=\"image/svg+xml\">"),
            std::string::npos);
  EXPECT_NE(page.find("<a class=\"skip\" href=\"#timer-form\">"), std::string::npos);

  // The table: channel labels, escaped titles, the locked row without a box.
  const std::string table = between(page, "<tbody>", "</tbody>");
  EXPECT_EQ(count(table, "<tr id="), 3) << table;
  EXPECT_NE(table.find("<tr id=\"timer-1\" class=\"even enabled\">"), std::string::npos);
  EXPECT_NE(table.find("<tr id=\"timer-2\" class=\"odd disabled\">"), std::string::npos);
  EXPECT_NE(table.find(">5 News (105)</td>"), std::string::npos) << table;
  EXPECT_NE(table.find(">AV</td>"), std::string::npos) << table;
  EXPECT_NE(table.find(">&lt; 77 &gt;</td>"), std::string::npos) << table;
  EXPECT_NE(table.find(">Tue 4/03/2025</td>"), std::string::npos) << table;
  EXPECT_NE(table.find(">Mon-Sat</td>"), std::string::npos) << table;
  EXPECT_NE(table.find(">20:15–21:45<span class=\"nextday\" title=\"ends on a later day\"></span>"),
            std::string::npos)
      << table;
  EXPECT_EQ(table.find("editing"), std::string::npos) << table;
  EXPECT_NE(table.find(">1:30</td>"), std::string::npos) << table;
  EXPECT_NE(table.find(">5 / 5 min</td>"), std::string::npos) << table;
  EXPECT_NE(table.find("<a href=\"skedra.cgi?edit=Edit&amp;key=1#timer-form\">News &amp; Weather "
                       "&lt;live&gt;</a>"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find(">&quot;Quoted&quot;</a>"), std::string::npos) << table;
  EXPECT_NE(
      table.find("<td class=\"title\">Locked &lt;film&gt;<span class=\"conflict\"></span></td>"),
      std::string::npos)
      << table;
  EXPECT_EQ(page.find("<live>"), std::string::npos);
  EXPECT_EQ(page.find("<film>"), std::string::npos);
  EXPECT_NE(table.find("name=\"key\" value=\"1\""), std::string::npos);
  EXPECT_NE(table.find("name=\"key\" value=\"2\""), std::string::npos);
  EXPECT_EQ(table.find("name=\"key\" value=\"3\""), std::string::npos);

  // The new-timer form: five minutes from now, 0:30, HQ, HDD, active.
  const std::string form = between(page, "<form class=\"timer-form\"", "</form>");
  ASSERT_FALSE(form.empty()) << page;
  EXPECT_NE(page.find(">Create new timer</h2>"), std::string::npos);
  EXPECT_NE(form.find("name=\"create\" value=\"Create\">Create</button>"), std::string::npos);
  EXPECT_EQ(form.find("Cancel"), std::string::npos);
  EXPECT_EQ(form.find("selected=\"selected\""), std::string::npos) << form;
  std::map<std::string, std::string> values;
  for (const Field& field : successfulControls(form)) values[field.name] = field.value;
  // A fresh one-time token of 32 hexadecimal digits.
  EXPECT_EQ(values["formtoken"].size(), 32u);
  EXPECT_EQ(values["formtoken"].find_first_not_of("0123456789abcdef"), std::string::npos);
  values.erase("formtoken");
  EXPECT_EQ(form.find("autofocus"), std::string::npos);
  // No channel is chosen for the user: the list asks for one.
  const std::map<std::string, std::string> expected = {
      {"quibsession", ""},    {"key", "0"},       {"title", "Web Timer"}, {"channel", ""},
      {"date", "2026-12-05"}, {"start", "20:03"}, {"end", "20:33"},       {"prepad", "0"},
      {"postpad", "0"},       {"repeat", "0"},    {"quality", "1"},       {"target", "0"},
      {"disabled", "0"},      {"sort", ""}};
  EXPECT_EQ(values, expected);
  EXPECT_NE(form.find("<input type=\"text\" id=\"timer-form\" name=\"title\" required "),
            std::string::npos)
      << form;
  EXPECT_NE(form.find("<select id=\"f-channel\" name=\"channel\" required "), std::string::npos);
  // The channel list: a choice to make, the external input, then the
  // channel file's channels, each by its name first.
  EXPECT_NE(form.find("<option value=\"\">Choose a channel</option>\n<option value=\"AV\">AV"
                      "</option>\n<option value=\"5\">News (5, 105)</option>\n"
                      "<option value=\"9\">Sport (9)</option>"),
            std::string::npos)
      << form;
  EXPECT_NE(form.find("<option value=\"12\">Kids &lt;Fun&gt; &amp; &quot;Co&quot; (12)</option>"),
            std::string::npos);
  EXPECT_NE(form.find("<option value=\"11\">Sat</option>\n"), std::string::npos) << form;
}

// Each row's status, next recording and overlaps, each linked to its row,
// the page's count of overlapping timers with links to their rows, and the
// rows by their next recording on request (GET or POST), the order surviving
// in both forms.
TEST_F(CgiListScreen, RowsShowTheirNextRecordingAndOverlaps) {
  // Now is Saturday 5/12 19:58; the fixture's three timers record nothing
  // in the next 14 days (past, disabled, years ahead).
  struct Added {
    const char* title;
    int32_t repeat, day, hour, minute, minutes, source;
  } added[] = {{"Recording", 0, 5, 19, 30, 60, 10},      // ID 4, records now
               {"Quiz <b>", 0, 5, 20, 0, 30, 10},        // ID 5, from 20:00 with it
               {"Daily", 1, 1, 21, 0, 30, 10},           // ID 6, every day at 21:00
               {"AV beside Daily", 0, 5, 21, 0, 30, 1},  // ID 7, the AV input
               {"Third", 0, 5, 20, 15, 30, 10}};         // ID 8, over both at 20:15
  for (const Added& a : added) {
    FirmwareTimer timer;
    timer.title = a.title;
    timer.repeat = a.repeat;
    timer.year = 2026, timer.month = 12, timer.day = a.day, timer.hour = a.hour;
    timer.minute = a.minute, timer.lengthHour = 0, timer.lengthMinute = a.minutes;
    timer.source = a.source;
    firmwareInsert(timerDb, timer);
  }
  const char* const recordingLink = "<a href=\"#timer-4\">Recording</a>";
  const char* const quizLink = "<a href=\"#timer-5\">Quiz &lt;b&gt;</a>";
  const char* const thirdLink = "<a href=\"#timer-8\">Third</a>";
  const ShownRow recording{"Recording", "now",
                           "Overlaps with " + std::string(quizLink) + " on Sat 5/12 20:00, " +
                               thirdLink + " on Sat 5/12 20:15"};
  const ShownRow quiz{"Quiz &lt;b&gt;", "Sat 5/12 20:00",
                      "Overlaps with " + std::string(recordingLink) + " on Sat 5/12 20:00, " +
                          thirdLink + " on Sat 5/12 20:15"};
  const ShownRow daily{"Daily", "Sat 5/12 21:00", ""};
  const ShownRow av{"AV beside Daily", "Sat 5/12 21:00", ""};
  const ShownRow third{"Third", "Sat 5/12 20:15",
                       "Overlaps with " + std::string(recordingLink) + " on Sat 5/12 20:15, " +
                           quizLink + " on Sat 5/12 20:15"};
  const ShownRow news{"News &amp; Weather &lt;live&gt;", "past", ""};
  const ShownRow quoted{"&quot;Quoted&quot;", "disabled", ""};
  const ShownRow locked{"Locked &lt;film&gt;", "Fri 3/5/2030 20:00", ""};

  const std::string page = get("").body;
  EXPECT_EQ(shownRows(page),
            (std::vector<ShownRow>{news, quoted, locked, recording, quiz, daily, av, third}));
  // The status of the timer that has recorded, the weekday of its date, the
  // tooltip of its start (margin included).
  const std::string table = between(page, "<tbody>", "</tbody>");
  EXPECT_NE(table.find("<span class=\"status status-past\">Past</span></td>\n"
                       "<td class=\"channel\" data-label=\"Channel\">5 News (105)</td>\n"
                       "<td class=\"day\" data-label=\"Day\">Tue 4/03/2025</td>\n"
                       "<td class=\"num time\" data-label=\"Time\" title=\"Recording starts "
                       "Tue 4/03/2025 20:10\">"),
            std::string::npos)
      << table;
  EXPECT_EQ(count(table, "status-past"), 1) << table;
  EXPECT_NE(page.find("<p class=\"msg msg-warning overlaps\" role=\"status\">3 timers overlap in "
                      "the next 14 days: " +
                      std::string(recordingLink) + ", " + quizLink + ", " + thirdLink + "</p>"),
            std::string::npos);
  EXPECT_NE(page.find("aria-sort=\"none\"><a href=\"skedra.cgi?sort=next\">"), std::string::npos);
  EXPECT_EQ(count(page, "name=\"sort\" value=\"\""), 2);

  // Sorted: by the next start, equal ones in the database's order, the
  // rows without one last; the header leads back to the database's order.
  for (const char* method : {"GET", "POST"}) {
    SCOPED_TRACE(method);
    CgiRequest request;
    request.workDir = dir.path();
    request.timerDb = timerDb;
    request.method = method;
    if (request.method == "GET") {
      request.query = "sort=next";
    } else {
      request.body = "sort=next";
    }
    request.fakeTime = kNow;
    request.signIn = true;
    const std::string sorted = runCgi(request).body;
    EXPECT_EQ(shownRows(sorted),
              (std::vector<ShownRow>{recording, quiz, third, daily, av, locked, news, quoted}));
    EXPECT_NE(sorted.find("aria-sort=\"ascending\"><a href=\"skedra.cgi?sort=stored\">"),
              std::string::npos);
    EXPECT_EQ(count(sorted, "name=\"sort\" value=\"next\""), 2);
  }
}

// The edit page names the edited timer, escaped, and marks its row alone.
TEST_F(CgiListScreen, UpdateModeFillsTheFormFromTheEditedTimer) {
  const CgiResponse response = get("edit=Edit&key=2");
  ASSERT_EQ(response.exitStatus, 0) << response.output;
  const std::string& page = response.body;
  const std::string form = between(page, "<form class=\"timer-form\"", "</form>");
  EXPECT_NE(form.find("required aria-describedby=\"form-error\" value=\"&quot;Quoted&quot;\" "
                      "autofocus>"),
            std::string::npos)
      << form;
  EXPECT_NE(page.find("<title>Edit: &quot;Quoted&quot;</title>"), std::string::npos);
  const std::string table = between(page, "<tbody>", "</tbody>");
  EXPECT_EQ(count(table, " editing\">"), 1) << table;
  EXPECT_NE(table.find("<tr id=\"timer-2\" class=\"odd disabled editing\">"), std::string::npos)
      << table;
  EXPECT_EQ(count(table, "<span class=\"badge\">Editing</span>"), 1) << table;
}

// A write refused for its bounds comes back with the form as entered, in
// create mode for a new timer and in update mode for an edited one.
TEST_F(CgiListScreen, RefusedWriteKeepsTheEnteredForm) {
  const std::string entered =
      "title=Too+long+%26+more&channel=5&day=31&month=2&year=2027&hh=21&mm=5&hours=30&mins=7&"
      "prepad=4&postpad=-3&repeat=3&quality=0&target=1&disabled=1";
  for (const std::string& action :
       {std::string("create=Create"), std::string("update=Update&key=1")}) {
    SCOPED_TRACE(action);
    const char* const everything = "select * from timer_record_table order by ID";
    const std::vector<std::string> before = TestDb(timerDb).rows(everything);
    const CgiResponse response = get(action + "&" + entered);
    ASSERT_EQ(response.exitStatus, 0) << response.output;
    EXPECT_EQ(TestDb(timerDb).rows(everything), before);
    const std::string& page = response.body;
    const std::string form = between(page, "<form class=\"timer-form\"", "</form>");
    // The refusal stands at the form, which opens at the input at fault.
    EXPECT_NE(form.find("id=\"form-error\" tabindex=\"-1\">Not saved: with its margins the "
                        "recording would last more than 24 hours.</div>"),
              std::string::npos)
        << form;
    EXPECT_EQ(count(form, " aria-invalid=\"true\" autofocus"), 1);
    EXPECT_EQ(count(page, "autofocus"), 1);
    std::map<std::string, std::string> values;
    for (const Field& field : successfulControls(form)) values[field.name] = field.value;
    const bool update = action.rfind("update", 0) == 0;
    EXPECT_EQ(values["key"], update ? "1" : "0");
    EXPECT_EQ(controlNames(form).count(update ? "update" : "create"), 1u);
    // The end picker shows the end of the day the length reaches.
    const std::map<std::string, std::string> expected = {{"title", "Too long & more"},
                                                         {"channel", "5"},
                                                         {"date", "2027-02-31"},
                                                         {"start", "21:05"},
                                                         {"end", "03:12"},
                                                         {"prepad", "4"},
                                                         {"postpad", "-3"},
                                                         {"repeat", "3"},
                                                         {"quality", "0"},
                                                         {"target", "1"},
                                                         {"disabled", "1"}};
    for (const auto& [name, value] : expected) EXPECT_EQ(values[name], value) << name;
  }
}

// The browser refuses first what the program would: every number is
// required, the length and the margins carry the program's bounds.
TEST_F(CgiListScreen, FormInputsCarryTheEntryBounds) {
  const std::string form = between(get("").body, "<form class=\"timer-form\"", "</form>");
  const std::map<std::string, std::pair<std::string, std::string>> bounds = {
      {"date", {"1970-01-01", "2038-01-19"}},
      {"prepad", {"-720", "720"}},
      {"postpad", {"-720", "720"}}};
  int numbers = 0;
  for (const std::string& tag : tags(form, "<input ")) {
    if (tag.find("type=\"number\"") == std::string::npos &&
        tag.find("type=\"date\"") == std::string::npos &&
        tag.find("type=\"time\"") == std::string::npos) {
      continue;
    }
    ++numbers;
    EXPECT_NE(tag.find(" required"), std::string::npos) << tag;
    const auto attrs = attributes(tag);
    const auto bound = bounds.find(attrs.at("name"));
    if (bound == bounds.end()) continue;
    EXPECT_EQ(attrs.at("min"), bound->second.first) << tag;
    EXPECT_EQ(attrs.at("max"), bound->second.second) << tag;
  }
  EXPECT_EQ(numbers, 5);  // date, start, end and the two margins
}

TEST_F(CgiListScreen, FormsSendExactlyTheParametersTheProgramReads) {
  const std::string page = get("edit=Edit&key=1").body;
  const std::string timerForm = between(page, "<form class=\"timer-form\"", "</form>");
  EXPECT_EQ(controlNames(timerForm),
            (std::set<std::string>{"quibsession", "key", "title", "channel", "date", "start", "end",
                                   "prepad", "postpad", "savedef", "repeat", "quality", "target",
                                   "disabled", "update", "formtoken", "sort", "savedefonly"}));
  const std::string tableForm = between(page, "<h2 id=\"timers-heading\"", "</form>");
  EXPECT_EQ(controlNames(tableForm),
            (std::set<std::string>{"quibsession", "key", "enable", "disable", "clone",
                                   "confirmdelete", "formtoken", "sort"}));
  EXPECT_NE(page.find("href=\"skedra.cgi?chpass=1\""), std::string::npos);
  EXPECT_NE(page.find("name=\"logout\" value=\"1\""), std::string::npos);
}

TEST_F(CgiListScreen, SavingTheEditFormChangesOnlyWhatTheUserChanged) {
  const std::optional<TimerRow> before = readTimerRow(timerDb, 1);
  ASSERT_TRUE(before);
  const std::string page = get("edit=Edit&key=1").body;
  const std::string form = between(page, "<form class=\"timer-form\"", "</form>");
  std::string body;
  for (Field field : successfulControls(form)) {
    // Every request here signs in anew: the sign-in page's token goes with
    // it instead of the form's, which was drawn for the session before.
    if (field.name == "formtoken") continue;
    if (field.name == "title") field.value += " & more";
    body += formEncode(field.name) + "=" + formEncode(field.value) + "&";
  }
  body += "update=Update";  // a browser sends no line end
  CgiRequest request;
  request.method = "POST";
  request.body = body;
  request.workDir = dir.path();
  request.timerDb = timerDb;
  request.fakeTime = kNow;
  request.signIn = true;
  const CgiResponse response = runFromPage(request);
  ASSERT_EQ(response.exitStatus, 0) << response.output;
  const std::optional<TimerRow> after = readTimerRow(timerDb, 1);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->title, "News & Weather <live> & more");
  EXPECT_EQ(after->channel, before->channel);
  EXPECT_EQ(after->repeat, before->repeat);
  EXPECT_EQ(std::vector<int64_t>({after->year, after->month, after->day, after->hour, after->minute,
                                  after->lengthHour, after->lengthMinute}),
            std::vector<int64_t>({2025, 3, 4, 20, 15, 1, 30}));
  EXPECT_EQ(after->timestampStart, before->timestampStart);
  EXPECT_EQ(after->timestampOffset, before->timestampOffset);
  EXPECT_EQ(after->quality, before->quality);
  EXPECT_EQ(after->target, before->target);
  EXPECT_EQ(after->enable, before->enable);
}

// A time zone that cannot be read is named on the page, and UTC is used: a
// 20:15 timer is written for 20:15 UTC.
TEST_F(CgiListScreen, UnreadableZoneIsNamedAndUtcUsed) {
  CgiRequest request;
  request.workDir = dir.path();
  request.timerDb = timerDb;
  request.fakeTime = kNow;
  request.signIn = true;
  request.tz = "Europe/<Nowhere>";
  request.query =
      "create=Create&channel=5&year=2027&month=6&day=15&hh=20&mm=15&hours=1&mins=0&title=Z";
  const CgiResponse response = runFromPage(request);
  ASSERT_EQ(response.exitStatus, 0) << response.output;
  EXPECT_NE(response.body.find("<div class=\"msg msg-warning\" role=\"status\">Time zone "
                               "\"Europe/&lt;Nowhere&gt;\" could not be read: times are in "
                               "UTC.</div>"),
            std::string::npos)
      << response.body;
  const std::optional<TimerRow> written = readLastTimerRow(timerDb);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->timestampStart, firmwareStartSeconds(2027, 6, 15, 20, 15));
}

// Default rows whose triggers are gone: the page asks for them to be saved
// again, and its one button does so. The timer form's own button saves the
// form's margins alone, from the edit form too, which comes back as entered.
// Neither writes a timer.
TEST_F(CgiListScreen, DefaultsAreSavedWithoutATimer) {
  TestDb(timerDb).exec(
      "create table settings (name text, value text);"
      "insert into settings values ('prepad', '120'), ('postpad', '300')");
  const char* const everything = "select * from timer_record_table order by ID";
  const std::vector<std::string> before = TestDb(timerDb).rows(everything);
  const std::string kNotApplied = "no longer applied to the recorder's own timers";
  // Sends the form as a browser does when its button is pressed, some
  // fields changed first; returns the page's timer form.
  auto send = [&](const std::string& form, const std::string& button, const std::string& prepad) {
    std::string body;
    for (const Field& field : successfulControls(form)) {
      // Each request signs in anew: the token comes from that session's page.
      if (field.name == "formtoken") continue;
      const std::string& value = field.name == "prepad" && !prepad.empty() ? prepad : field.value;
      body += formEncode(field.name) + "=" + formEncode(value) + "&";
    }
    CgiRequest request;
    request.method = "POST";
    request.body = body + button;
    request.workDir = dir.path();
    request.timerDb = timerDb;
    request.fakeTime = kNow;
    request.signIn = true;
    const std::string page = runFromPage(request).body;
    EXPECT_EQ(TestDb(timerDb).rows(everything), before);
    EXPECT_EQ(page.find(kNotApplied), std::string::npos);
    return between(page, "<form class=\"timer-form\"", "</form>");
  };

  const std::string page = get("").body;
  ASSERT_NE(page.find(kNotApplied), std::string::npos);
  send(between(page, "<div class=\"msg msg-warning\"", "</form>"), "update=Save", "");
  EXPECT_EQ(TestDb(timerDb).integer("select count(*) from sqlite_master where type = 'trigger'"),
            3);
  const std::string form =
      send(between(get("edit=Edit&key=1").body, "<form class=\"timer-form\"", "</form>"),
           "savedefonly=Save", "7");
  EXPECT_EQ(TestDb(timerDb).rows("select value from settings order by rowid"),
            (std::vector<std::string>{"420", "300"}));
  std::map<std::string, std::string> values;
  for (const Field& field : successfulControls(form)) values[field.name] = field.value;
  EXPECT_EQ(values["key"], "1");
  EXPECT_EQ(values["prepad"], "7");
  EXPECT_EQ(controlNames(form).count("update"), 1u);
}

// A timer entered in the recorder's zone lists with the margins and end time
// that were entered and its edit form saves back unchanged, on the change
// nights too (the repeated autumn hour included); UTC as before.
TEST_F(CgiListScreen, EnteredLocalTimeSurvivesListAndEditForm) {
  struct Case {
    const char* zone;
    int month, day, hh, mm;  // 2027
    const char* time;        // as the list shows it
  } cases[] = {
      {"UTC", 10, 31, 2, 30, "02:30–03:30"},
      {"Europe/Berlin", 10, 31, 2, 30, "02:30–03:30"},
      {"Europe/Berlin", 3, 28, 20, 15, "20:15–21:15"},
      {"Europe/Berlin", 3, 27, 23, 30, "23:30–00:30"},
      {"Australia/Sydney", 4, 4, 2, 30, "02:30–03:30"},
      {"Australia/Sydney", 10, 3, 20, 15, "20:15–21:15"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.month) + "/" + std::to_string(c.day) +
                 " " + c.time);
    CgiRequest request;
    request.workDir = dir.path();
    request.timerDb = timerDb;
    request.fakeTime = kNow;
    request.signIn = true;
    request.tz = c.zone;
    request.query = "create=Create&channel=5&year=2027&month=" + std::to_string(c.month) +
                    "&day=" + std::to_string(c.day) + "&hh=" + std::to_string(c.hh) +
                    "&mm=" + std::to_string(c.mm) +
                    "&hours=1&mins=0&prepad=3&postpad=7&repeat=0&title=Entered";
    ASSERT_EQ(runFromPage(request).exitStatus, 0);
    const std::optional<TimerRow> written = readLastTimerRow(timerDb);
    ASSERT_TRUE(written);
    const std::string key = std::to_string(written->id);

    request.query = "edit=Edit&key=" + key;
    const std::string page = runCgi(request).body;
    const std::string row = between(page, "value=\"" + key + "\"", "</tr>");
    EXPECT_NE(row.find(c.time), std::string::npos) << row;
    EXPECT_NE(row.find(">3 / 7 min<"), std::string::npos) << row;
    const std::string form = between(page, "<form class=\"timer-form\"", "</form>");
    std::map<std::string, std::string> sent;
    std::string body;
    for (const Field& field : successfulControls(form)) {
      sent[field.name] = field.value;
      if (field.name == "formtoken") continue;  // drawn for another sign-in
      body += formEncode(field.name) + "=" + formEncode(field.value) + "&";
    }
    EXPECT_EQ(sent["prepad"], "3");
    EXPECT_EQ(sent["postpad"], "7");
    EXPECT_EQ(std::stoi(sent["start"]), c.hh);

    request.query.reset();
    request.method = "POST";
    request.body = body + "update=Update";
    ASSERT_EQ(runFromPage(request).exitStatus, 0);
    const std::optional<TimerRow> saved = readTimerRow(timerDb, written->id);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->numbers(), written->numbers());
    TestDb(timerDb).exec("delete from timer_record_table where ID = " + key);
  }
}

// The page's Delete button lists the timers that will go and deletes
// nothing; the confirmation's own form then deletes exactly those. Without a
// timer that exists, the list says why beside its buttons.
TEST_F(CgiListScreen, DeleteAsksFirstThenDeletesWhatItListed) {
  const char* const everything = "select ID from timer_record_table order by ID";
  const CgiResponse asked = get("confirmdelete=Delete&key=3&key=99&key=1");
  ASSERT_EQ(asked.exitStatus, 0) << asked.output;
  EXPECT_EQ(TestDb(timerDb).rows(everything), (std::vector<std::string>{"1", "2", "3"}));
  const std::string& page = asked.body;
  EXPECT_NE(page.find("<h2 id=\"confirm-heading\">Delete 2 timers?</h2>"), std::string::npos)
      << page;
  EXPECT_NE(page.find("<strong>News &amp; Weather &lt;live&gt;</strong>"), std::string::npos);
  EXPECT_NE(page.find("<strong>Locked &lt;film&gt;</strong>"), std::string::npos);
  const std::string form = between(page, "<form ", "</form>");
  std::string body;
  std::vector<std::string> keys;
  for (const Field& field : successfulControls(form)) {
    if (field.name == "key") keys.push_back(field.value);
    // Signed in anew, the request carries the sign-in page's token instead.
    if (field.name == "formtoken") continue;
    body += formEncode(field.name) + "=" + formEncode(field.value) + "&";
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"1", "3"}));
  CgiRequest confirm;
  confirm.method = "POST";
  confirm.workDir = dir.path();
  confirm.timerDb = timerDb;
  confirm.fakeTime = kNow;
  confirm.signIn = true;
  confirm.body = body + "delete=Delete";
  const CgiResponse deleted = runFromPage(confirm);
  EXPECT_NE(deleted.body.find("role=\"status\">Deleted 2 timers.</div>"), std::string::npos);
  EXPECT_EQ(TestDb(timerDb).rows(everything), (std::vector<std::string>{"2"}));

  const struct {
    std::string query, error;
  } nothing[] = {
      {"confirmdelete=Delete", "You have to select one or more timers"},
      {"confirmdelete=Delete&key=99", "That timer no longer exists."},
      {"enable=Enable", "You have to select one or more timers"},
  };
  for (const auto& c : nothing) {
    SCOPED_TRACE(c.query);
    const std::string list = get(c.query).body;
    const std::string timers = between(list, "<h2 id=\"timers-heading\"", "</form>");
    EXPECT_NE(timers.find("role=\"alert\" tabindex=\"-1\" autofocus>" + c.error + "</div>"),
              std::string::npos)
        << timers;
  }
}

// A chosen order stays with the browser until another is chosen.
TEST_F(CgiListScreen, ChosenSortOrderIsRemembered) {
  const struct {
    std::string query;
    std::optional<std::string> cookie;
    bool sorted;
    std::string setCookie;  // the start of the Set-Cookie line, "" for none
  } cases[] = {
      {"sort=next", std::nullopt, true, "Set-Cookie: skedrasort=next; HttpOnly; SameSite=Strict"},
      {"", "skedrasort=next", true, ""},
      {"sort=", "skedrasort=next", true, ""},
      {"sort=next", "skedrasort=next", true, ""},
      {"sort=stored", "skedrasort=next", false, "Set-Cookie: skedrasort=0; expires=Thu, 1-Jan"},
      {"", std::nullopt, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query + " " + c.cookie.value_or("(no cookie)"));
    CgiRequest request;
    request.workDir = dir.path();
    request.timerDb = timerDb;
    request.query = c.query;
    request.cookie = c.cookie;
    request.fakeTime = kNow;
    request.signIn = true;
    const CgiResponse response = runCgi(request);
    EXPECT_NE(response.body.find(c.sorted ? "aria-sort=\"ascending\"" : "aria-sort=\"none\""),
              std::string::npos);
    const size_t line = response.header.find("Set-Cookie: skedrasort");
    if (c.setCookie.empty()) {
      EXPECT_EQ(line, std::string::npos) << response.header;
    } else {
      EXPECT_EQ(response.header.compare(line, c.setCookie.size(), c.setCookie), 0)
          << response.header;
    }
  }
}

TEST_F(CgiListScreen, SessionInTheUrlReachesEveryLinkAndForm) {
  CgiRequest request;
  request.workDir = dir.path();
  request.timerDb = timerDb;
  request.query = "sticky=on";
  request.remoteAddr = "127.0.0.1";
  request.signIn = true;
  const CgiResponse signedIn = runCgi(request);
  ASSERT_EQ(signedIn.exitStatus, 0) << signedIn.output;
  const std::string action = "action=\"skedra.cgi?quibsession=";
  const size_t idStart = signedIn.body.find(action);
  ASSERT_NE(idStart, std::string::npos) << signedIn.body;
  const std::string id = signedIn.body.substr(
      idStart + action.size(),
      signedIn.body.find('"', idStart + action.size()) - (idStart + action.size()));
  ASSERT_FALSE(id.empty());
  const std::string& page = signedIn.body;
  EXPECT_EQ(count(page, "name=\"quibsession\" value=\"" + id + "\""), 4) << page;
  EXPECT_NE(page.find("href=\"skedra.cgi?quibsession=" + id + "&chpass=1\""), std::string::npos);
  EXPECT_NE(page.find("href=\"skedra.cgi?quibsession=" + id + "&edit=Edit&amp;key=1#timer-form\""),
            std::string::npos);

  // A form post that carries the session only in its hidden field, with the
  // page's token.
  const std::string tokenField = "name=\"formtoken\" value=\"";
  const size_t tokenStart = page.find(tokenField) + tokenField.size();
  const std::string token = page.substr(tokenStart, page.find('"', tokenStart) - tokenStart);
  CgiRequest post;
  post.method = "POST";
  post.body = "quibsession=" + id + "&key=1&disable=Disable&formtoken=" + token;
  post.workDir = dir.path();
  post.timerDb = timerDb;
  const CgiResponse disabled = runCgi(post);
  ASSERT_EQ(disabled.exitStatus, 0) << disabled.output;
  EXPECT_NE(disabled.body.find("<table class=\"timers\">"), std::string::npos) << disabled.body;
  EXPECT_NE(readTimerRow(timerDb, 1)->enable, 0);
}

}  // namespace
