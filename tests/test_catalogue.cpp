// The catalogue of texts: every key has its English text, a count picks the
// form, the values fill the numbered places wherever they stand.
#include <gtest/gtest.h>

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "texts/catalogue.h"
#include "views/html/timer_texts.h"

namespace {

TEST(Catalogue, EveryKeyHasBothEnglishForms) {
  const Catalogue& english = englishCatalogue();
  for (size_t key = 0; key < kTextCount; ++key) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(english.forms[key].one.empty());
    EXPECT_FALSE(english.forms[key].other.empty());
  }
}

TEST(Catalogue, CountPicksTheForm) {
  struct Case {
    Text key;
    int64_t count;
    const char* expected;
  };
  const Case cases[] = {
      {Text::kDeleted, 1, "Deleted 1 timer."},
      {Text::kDeleted, 2, "Deleted 2 timers."},
      {Text::kCloned, 1, "Cloned 1 timer (the copy is disabled)."},
      {Text::kCloned, 12, "Cloned 12 timers (the copies are disabled)."},
      {Text::kMinutesBefore, -1, "-1 minute before"},
      {Text::kMinutesBefore, 0, "0 minutes before"},
      {Text::kMinutesAfter, -720, "-720 minutes after"},
      {Text::kTimersOverlap, 2, "2 timers overlap in the next 14 days"},
      {Text::kTimersOverlap, 1, "1 timer overlaps in the next 14 days"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(countText(c.key, c.count), c.expected);
  }
}

TEST(Catalogue, ValuesFillTheirPlaces) {
  const std::string longTitle(5000, 'x');
  struct Case {
    std::string pattern;
    std::string expected;
  };
  const Case cases[] = {
      {"{2} before {1}", "b before a"},
      {"{1}{1}", "aa"},
      {"{3} stays empty", " stays empty"},
      {"{x} {0} {12 {", "{x} {0} {12 {"},
      {"Overlaps with {1} on {2}", "Overlaps with a on b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fillText(c.pattern, {"a", "b"}), c.expected) << c.pattern;
  }
  EXPECT_EQ(textWith(Text::kSqlError, {"5", "database is locked", "60"}),
            "SQL error code: 5, message: \"database is locked\" at line 60\n");
  // A value of any length is taken whole.
  EXPECT_EQ(textWith(Text::kCreated, {longTitle}), "Created \"" + longTitle + "\".");
}

// The row's time stamp names its weekday and month as the C library did.
TEST(Catalogue, TimestampNamesAsTheCLibrary) {
  std::setlocale(LC_TIME, "C");
  for (int day = 0; day < 365; day += 31) {
    std::tm local{};
    local.tm_year = 125;
    local.tm_mday = 1 + day;
    local.tm_hour = 20;
    std::mktime(&local);
    char expected[64];
    std::strftime(expected, sizeof expected, "%a %b %e %H:%M:%S %Y\n", &local);
    EXPECT_EQ(timestampText(local), expected);
  }
}

}  // namespace
