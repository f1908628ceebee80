// The recorder's time zone: TZ first, then the rule file, then the C
// library's default; zone names through the zone table, rules checked, and
// UTC with a warning for what cannot be read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/time_zone.h"
#include "support/firmware.h"
#include "support/test_env.h"

namespace {

// Seconds east of UTC at the instant in the zone now in effect.
long offsetAt(int64_t instant) {
  std::time_t value = instant;
  std::tm local{};
  localtime_r(&value, &local);
  return static_cast<long>(firmwareStartSeconds(local.tm_year + 1900, local.tm_mon + 1,
                                                local.tm_mday, local.tm_hour, local.tm_min) -
                           instant);
}

TEST(RecorderTimeZone, TzThenRuleFileThenLibraryDefault) {
  struct Case {
    const char* what;
    std::optional<std::string> tz;    // none: unset
    std::optional<std::string> file;  // none: no file
    std::optional<std::string> expectedTz;
    long winter, summer;  // offsets on 2027-01-15 and 2027-07-15, 12:00 UTC
    std::optional<std::string> unread = std::nullopt;  // reported as not read
    std::string name = "";                             // the zone's name kept
  } cases[] = {
      {"rule file", std::nullopt, "CET-1CEST,M3.5.0,M10.5.0/3\n", "CET-1CEST,M3.5.0,M10.5.0/3",
       3600, 7200},
      {"first line only, line end trimmed", std::nullopt, "AEST-10AEDT,M10.1.0,M4.1.0/3\r\nUTC\n",
       "AEST-10AEDT,M10.1.0,M4.1.0/3", 39600, 36000},
      {"rule without line end", std::nullopt, "EST5EDT,M3.2.0,M11.1.0", "EST5EDT,M3.2.0,M11.1.0",
       -18000, -14400},
      {"TZ wins over the file", std::string("UTC"), "CET-1CEST,M3.5.0,M10.5.0/3\n", "UTC0", 0, 0,
       std::nullopt, "UTC"},
      {"empty file: library default", std::nullopt, "", std::nullopt, 0, 0},
      {"no file: library default", std::nullopt, std::nullopt, std::nullopt, 0, 0},
      {"zone name in TZ", std::string("Europe/Berlin"), std::nullopt, "CET-1CEST,M3.5.0,M10.5.0/3",
       3600, 7200, std::nullopt, "Europe/Berlin"},
      {"zone name in the file", std::nullopt, "America/New_York\n", "EST5EDT,M3.2.0,M11.1.0",
       -18000, -14400, std::nullopt, "America/New_York"},
      {"zone name after ':'", std::string(":Australia/Sydney"), std::nullopt,
       "AEST-10AEDT,M10.1.0,M4.1.0/3", 39600, 36000, std::nullopt, "Australia/Sydney"},
      {"quoted names", std::string("<+0545>-5:45"), std::nullopt, "<+0545>-5:45", 20700, 20700},
      {"garbage", std::string("garbage"), std::nullopt, "UTC0", 0, 0, "garbage"},
      {"unknown name", std::nullopt, "Europe/Nowhere\n", "UTC0", 0, 0, "Europe/Nowhere"},
      {"empty TZ", std::string(""), std::nullopt, "UTC0", 0, 0, ""},
      {"doubled sign", std::string("CET+-1"), std::nullopt, "UTC0", 0, 0, "CET+-1"},
      {"daylight saving without dates", std::nullopt, "CET-1CEST", "UTC0", 0, 0, "CET-1CEST"},
  };
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "UTC";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.file("TZ");
    if (c.file) writeFile(path, *c.file);
    if (c.tz) {
      setenv("TZ", c.tz->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    useRecorderTimeZone(path.c_str());
    const char* tz = std::getenv("TZ");
    EXPECT_EQ(tz ? std::optional<std::string>(tz) : std::nullopt, c.expectedTz);
    EXPECT_EQ(unreadableTimeZone(), c.unread);
    EXPECT_EQ(recorderZone().rule, c.expectedTz.value_or(""));
    EXPECT_EQ(recorderZone().name, c.name);
    if (c.expectedTz) {
      EXPECT_EQ(offsetAt(firmwareStartSeconds(2027, 1, 15, 12, 0)), c.winter);
      EXPECT_EQ(offsetAt(firmwareStartSeconds(2027, 7, 15, 12, 0)), c.summer);
    }
  }
  useTimeZone(previous.c_str());
}

TEST(ZoneRule, ReadsWhatEveryCLibraryReadsAlike) {
  struct Case {
    const char* rule;
    bool readable;
  } cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3", true},
      {"EST5EDT,M3.2.0,M11.1.0", true},
      {"<-03>3", true},
      {"<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", true},
      {"IST-2IDT,M3.4.4/26,M10.5.0", true},
      {"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", true},
      {"ABC+23:59:59DEF-24,J1/0:30:15,365/+167", true},
      {"UTC0", true},
      {"CET-1", true},
      {"", false},
      {"garbage", false},
      {"Europe/Berlin", false},
      {"CET", false},
      {"CE-1", false},
      {"CET+-1", false},
      {"CET-1CEST", false},
      {"CET-1CEST,M3.5.0", false},
      {"CET-1CEST,M3.5.0,M10.5.0/3 ", false},
      {"CET25", false},
      {"CET-1:60", false},
      {"CET-100", false},
      {"<+3>-3", false},
      {"<+03-3", false},
      {"<+0 3>-3", false},
      {"CET-1CEST,M13.5.0,M10.5.0", false},
      {"CET-1CEST,M3.6.0,M10.5.0", false},
      {"CET-1CEST,M3.5.7,M10.5.0", false},
      {"CET-1CEST,J0,J365", false},
      {"CET-1CEST,0,366", false},
      {"CET-1CEST,M3.5.0/168,M10.5.0", false},
      {"CET-1CEST,M3.5.0/,M10.5.0", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isZoneRule(c.rule), c.readable) << c.rule;
  }
}

// Every name of the table is found and has a rule that is read; where this
// machine has the name's zone file, the C library reads it with the same
// offsets as the table's rule. Morocco's zone files list each year's Ramadan
// change, which no POSIX rule can say: there the rule is the rest of the year.
TEST(ZoneTable, HoldsTheZoneFilesRules) {
  EXPECT_GT(zoneCount(), 300u);
  EXPECT_EQ(zoneRuleOf("Europe/Berlin"), std::string_view("CET-1CEST,M3.5.0,M10.5.0/3"));
  EXPECT_EQ(zoneRuleOf("US/Eastern"), std::string_view("EST5EDT,M3.2.0,M11.1.0"));
  EXPECT_EQ(zoneRuleOf("UTC"), std::string_view("UTC0"));
  for (const char* missing : {"", "Europe", "europe/berlin", "Europe/Nowhere", "localtime"}) {
    EXPECT_EQ(zoneRuleOf(missing), std::nullopt) << missing;
  }
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "UTC";
  for (size_t index = 0; index < zoneCount(); ++index) {
    const ZoneEntry entry = zoneEntry(index);
    const std::string name(entry.name), rule(entry.rule);
    SCOPED_TRACE(name + " " + rule);
    EXPECT_EQ(zoneRuleOf(entry.name), entry.rule);
    EXPECT_TRUE(isZoneRule(entry.rule));
    const bool ramadan = name == "Africa/Casablanca" || name == "Africa/El_Aaiun";
    if (ramadan || access(("/usr/share/zoneinfo/" + name).c_str(), R_OK) != 0) continue;
    // The first and the fifteenth of every month of 2027, at noon UTC.
    std::vector<long> fromFile, fromRule;
    for (const std::string* zone : {&name, &rule}) {
      useTimeZone(zone->c_str());
      for (int month = 1; month <= 12; ++month) {
        for (int day : {1, 15}) {
          (zone == &name ? fromFile : fromRule)
              .push_back(offsetAt(firmwareStartSeconds(2027, month, day, 12, 0)));
        }
      }
    }
    EXPECT_EQ(fromFile, fromRule);
  }
  useTimeZone(previous.c_str());
}

}  // namespace
