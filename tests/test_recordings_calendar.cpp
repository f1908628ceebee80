// The calendar feed's text: the zone from its POSIX rule, the repeat patterns
// as RRULEs, the events' times and texts, and the lines of RFC 5545.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/local_time.h"
#include "support/test_env.h"
#include "views/ics/recordings_calendar.h"

namespace {

constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";

// The process's zone: the rule, UTC for none.
void useRule(const char* rule) {
  useTimeZone(*rule != '\0' ? rule : "UTC0");
}

// A tuner timer's row in 2027 as the timer write stores it in the zone now
// in effect: the window widened by the margins (minutes before and after).
ScheduleRow row(int32_t id, int32_t repeat, int32_t month, int32_t day, int32_t hh, int32_t mm,
                int32_t minutes, int32_t before, int32_t after) {
  ScheduleRow row;
  row.id = id, row.date = repeat, row.channel = 1;
  row.year = 2027, row.month = month, row.day = day, row.hh = hh, row.mm = mm;
  row.hours = minutes / 60, row.mins = minutes % 60;
  std::tm start{};
  start.tm_year = 127, start.tm_mon = month - 1, start.tm_mday = day;
  start.tm_hour = hh, start.tm_min = mm;
  row.timestampStart = localTimeInstant(start) - before * 60;
  row.timestampOffset = (minutes + before + after) * 60;
  row.title = "Timer " + std::to_string(id);
  return row;
}

std::string calendar(const char* rule, const char* name, const std::vector<ScheduleRow>& rows) {
  CalendarFeed feed;
  feed.zoneRule = rule;
  feed.zoneName = name;
  feed.host = "box";
  feed.now = 1805540400;  // 2027-03-20 11:00 UTC
  feed.channelName = [](int16_t channel) { return channel == -1 ? "AV" : "Das Erste"; };
  return recordingsCalendar(rows, feed);
}

// The lines from BEGIN:name to END:name, unfolded and joined by "|"; "" when
// there is none.
std::string component(std::string text, const std::string& name) {
  for (size_t fold; (fold = text.find("\r\n ")) != std::string::npos;) text.erase(fold, 3);
  const size_t begin = text.find("BEGIN:" + name + "\r\n");
  if (begin == std::string::npos) return "";
  std::string lines = text.substr(begin, text.find("END:" + name, begin) - begin);
  for (size_t end; (end = lines.find("\r\n")) != std::string::npos;) lines.replace(end, 2, "|");
  return lines;
}

TEST(RecordingsCalendar, ZoneFromItsRuleOrEveryTimeInUtc) {
  struct Case {
    const char *rule, *name, *zone, *start;
  } cases[] = {
      {kBerlin, "Europe/Berlin",
       "TZID:Europe/Berlin|BEGIN:DAYLIGHT|TZOFFSETFROM:+0100|TZOFFSETTO:+0200|TZNAME:CEST|"
       "DTSTART:19700329T020000|RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU|END:DAYLIGHT|"
       "BEGIN:STANDARD|TZOFFSETFROM:+0200|TZOFFSETTO:+0100|TZNAME:CET|DTSTART:19701025T030000|"
       "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU|END:STANDARD|",
       "DTSTART;TZID=Europe/Berlin:20270115T201000"},
      {"EST5EDT,M3.2.0,M11.1.0", "",
       "TZID:skedra|BEGIN:DAYLIGHT|TZOFFSETFROM:-0500|TZOFFSETTO:-0400|TZNAME:EDT|"
       "DTSTART:19700308T020000|RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU|END:DAYLIGHT|"
       "BEGIN:STANDARD|TZOFFSETFROM:-0400|TZOFFSETTO:-0500|TZNAME:EST|DTSTART:19701101T020000|"
       "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU|END:STANDARD|",
       "DTSTART;TZID=skedra:20270115T201000"},
      {"<+0545>-5:45", "",
       "TZID:skedra|BEGIN:STANDARD|TZOFFSETFROM:+0545|TZOFFSETTO:+0545|TZNAME:+0545|"
       "DTSTART:19700101T000000|END:STANDARD|",
       "DTSTART;TZID=skedra:20270115T201000"},
      // Changes at a time beyond a day or below zero: a weekday in a run of
      // seven days of the month.
      {"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", "",
       "TZID:skedra|BEGIN:DAYLIGHT|TZOFFSETFROM:-0200|TZOFFSETTO:-0100|TZNAME:-01|"
       "DTSTART:19700328T230000|RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=SA;BYMONTHDAY=-8,-7,-6,-5,-4,"
       "-3,-2|END:DAYLIGHT|BEGIN:STANDARD|TZOFFSETFROM:-0100|TZOFFSETTO:-0200|TZNAME:-02|"
       "DTSTART:19701025T000000|RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU|END:STANDARD|",
       "DTSTART;TZID=skedra:20270115T201000"},
      // No yearly rule says these: UTC.
      {"EET-2EEST,M4.5.5/0,M10.5.4/24", "", "", "DTSTART:20270115T181000Z"},
      {"CET-1CEST,J60,300/3", "", "", "DTSTART:20270115T191000Z"},
      {"", "", "", "DTSTART:20270115T201000Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    useRule(c.rule);
    const std::string text = calendar(c.rule, c.name, {row(1, 0, 1, 15, 20, 15, 90, 5, 10)});
    EXPECT_EQ(component(text, "VTIMEZONE"),
              *c.zone ? "BEGIN:VTIMEZONE|" + std::string(c.zone) : "");
    EXPECT_NE(text.find(std::string("\r\n") + c.start + "\r\n"), std::string::npos);
  }
}

TEST(RecordingsCalendar, RepeatPatternsAsRules) {
  struct Case {
    int32_t repeat, day, hh, mm;  // start in March 2027: the 22nd a Monday
    const char *start, *rule;     // rule: "" for a single event
  } cases[] = {
      {0, 22, 20, 15, "20270322T201000", ""},
      {1, 22, 20, 15, "20270322T201000", "FREQ=DAILY"},
      {2, 22, 20, 15, "20270322T201000", "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR"},
      {3, 22, 20, 15, "20270322T201000", "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR,SA"},
      {4, 22, 20, 15, "20270327T201000", "FREQ=WEEKLY;BYDAY=SA,SU"},  // moved to Saturday
      {11, 22, 20, 15, "20270327T201000", "FREQ=WEEKLY;BYDAY=SA"},
      // The margin before midnight: the window starts the day before.
      {6, 22, 0, 3, "20270321T235800", "FREQ=WEEKLY;BYDAY=SU"},
      {20, 22, 20, 15, "20270322T201000", ""},  // the firmware's own code: its first window
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.repeat);
    useRule(kBerlin);
    const std::string event = component(
        calendar(kBerlin, "", {row(1, c.repeat, 3, c.day, c.hh, c.mm, 90, 5, 10)}), "VEVENT");
    EXPECT_NE(event.find(std::string("|DTSTART;TZID=skedra:") + c.start + "|"), std::string::npos);
    const size_t rule = event.find("|RRULE:");
    EXPECT_EQ(rule == std::string::npos
                  ? ""
                  : event.substr(rule + 7, event.find('|', rule + 1) - rule - 7),
              c.rule);
  }
}

TEST(RecordingsCalendar, EventsEscapedAndFolded) {
  useRule(kBerlin);
  ScheduleRow named = row(7, 0, 3, 22, 20, 15, 90, 5, 10);
  named.title = "News, Weather; A\\B\nCaf\xE9 " + std::string(32, 'x') + "\xC3\xBC\xC3\xBC\xC3\xBC";
  ScheduleRow av = row(8, 0, 3, 23, 20, 15, 90, 0, 0);
  av.source = 1;
  const std::string raw = calendar(kBerlin, "", {named, av});
  // Every line ends in CRLF, is at most 75 octets and is folded between
  // UTF-8 sequences.
  for (size_t at = 0, end; at < raw.size(); at = end + 2) {
    end = raw.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - at, 75u);
    if (raw[end + 2] == ' ') {
      EXPECT_NE(static_cast<unsigned char>(raw[end + 3]) & 0xC0, 0x80);
    }
  }
  EXPECT_EQ(component(raw, "VEVENT"),
            "BEGIN:VEVENT|UID:timer-7@box|DTSTAMP:20270320T110000Z|"
            "DTSTART;TZID=skedra:20270322T201000|DTEND;TZID=skedra:20270322T215500|"
            "SUMMARY:News\\, Weather\\; A\\\\B\\nCaf\xEF\xBF\xBD " +
                std::string(32, 'x') +
                "\xC3\xBC\xC3\xBC\xC3\xBC|LOCATION:Das Erste|DESCRIPTION:Programme 20:15-21:45\\, "
                "recording from 20:10 to 21:55 (margins 5 and 10 minutes)|");
  EXPECT_NE(raw.find("UID:timer-8@box\r\nDTSTAMP"), std::string::npos);
  EXPECT_NE(raw.find("LOCATION:AV\r\n"), std::string::npos);
}

// The feed that tests/ics/parse.mjs reads with ical.js, written to the file
// SKEDRA_CALENDAR_FILE names: a single recording, a daily one across the
// change to summer time on 28 March, Mon-Fri entered on a Saturday (so from
// Monday on), Sundays at 00:05 with the margin on Saturday, a disabled one.
TEST(RecordingsCalendar, FeedOfTheParserCheck) {
  useRule(kBerlin);
  std::vector<ScheduleRow> rows = {
      row(1, 0, 3, 22, 20, 15, 90, 5, 10), row(2, 1, 3, 25, 6, 0, 30, 0, 0),
      row(3, 2, 3, 20, 20, 15, 60, 5, 10), row(4, 5, 3, 21, 0, 5, 30, 10, 0),
      row(5, 0, 3, 23, 12, 0, 60, 0, 0)};
  rows.back().enable = 1;
  const std::string text = calendar(kBerlin, "", rows);
  EXPECT_EQ(text.find("UID:timer-5@"), std::string::npos);
  if (const char* path = std::getenv("SKEDRA_CALENDAR_FILE")) writeFile(path, text);
}

}  // namespace
