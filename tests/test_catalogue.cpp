// The catalogue of texts: every key has its English text, a count picks the
// form, the values fill the numbered places wherever they stand.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/language.h"
#include "support/test_env.h"
#include "texts/catalogue.h"
#include "views/html/timer_texts.h"

namespace {

// The numbered places of a text, as a set of digits.
std::string placesOf(std::string_view text) {
  std::string places(9, '-');
  for (size_t at = 0; at + 2 < text.size(); ++at) {
    if (text[at] == '{' && text[at + 1] >= '1' && text[at + 1] <= '9' && text[at + 2] == '}') {
      places[static_cast<size_t>(text[at + 1] - '1')] = text[at + 1];
    }
  }
  return places;
}

// Every language has every key, with the forms its plural rule picks among,
// none empty, each keeping the places of the English text (a plural's form
// for one may leave out the count); the date formats pick their own places.
TEST(Catalogue, EveryLanguageIsComplete) {
  const Catalogue& english = englishCatalogue();
  ASSERT_EQ(english.tag, "en");
  for (size_t index = 0; index < catalogueCount(); ++index) {
    const Catalogue& language = catalogueAt(index);
    SCOPED_TRACE(language.tag);
    size_t forms = 1;
    for (uint64_t count = 0; count < 1000; ++count) {
      forms = std::max(forms, language.form(count) + 1);
    }
    for (size_t key = 0; key < kTextCount; ++key) {
      const Text text = static_cast<Text>(key);
      if (text == Text::kMomentFormat || text == Text::kMomentYearFormat ||
          text == Text::kStartsAtFormat || text == Text::kDayFormat ||
          text == Text::kEntryDateFormat || text == Text::kEntryDateTimeFormat) {
        continue;
      }
      const bool plural = formCount(english, text) == 2;
      ASSERT_EQ(formCount(language, text), plural ? forms : 1) << key;
      const std::string places = placesOf(formOf(english, text, plural ? 1 : 0));
      for (size_t form = 0; form < formCount(language, text); ++form) {
        const std::string_view translated = formOf(language, text, form);
        EXPECT_FALSE(translated.empty()) << key;
        std::string wanted = places;
        if (plural && language.form(1) == form) wanted[0] = placesOf(translated)[0];
        EXPECT_EQ(placesOf(translated), wanted) << translated;
      }
    }
  }
}

// Each language's rule picks the form that its counts take.
TEST(Catalogue, PluralRulesPickTheForms) {
  struct Case {
    const char* tag;
    int64_t count;
    size_t form;
  };
  const Case cases[] = {
      {"en", 1, 0},  {"en", 0, 1},  {"en", -1, 0}, {"en", 2, 1},   {"de", 1, 0},
      {"de", 0, 1},  {"de", 21, 1}, {"fr", 0, 0},  {"fr", 1, 0},   {"fr", 2, 1},
      {"pl", 1, 0},  {"pl", 2, 1},  {"pl", 4, 1},  {"pl", 5, 2},   {"pl", 12, 2},
      {"pl", 22, 1}, {"pl", 25, 2}, {"pl", 0, 2},  {"pl", 112, 2}, {"pl", -3, 1},
  };
  for (const Case& c : cases) {
    const Catalogue* language = findCatalogue(c.tag);
    if (language == nullptr) continue;  // a build without that language
    speak(*language);
    EXPECT_EQ(textOf(Text::kDeleted, c.count), formOf(*language, Text::kDeleted, c.form))
        << c.tag << " " << c.count;
  }
  speak(englishCatalogue());
}

// Every key is found by its name; a name that is no key, also one that
// sorts before, between or after the keys, is found as none.
TEST(Catalogue, KeysAreFoundByName) {
  struct Named {
    const char* name;
    Text key;
  };
  const Named keys[] = {
#define SKEDRA_TEXT(key, text) {#key, Text::key},
#define SKEDRA_PLURAL(key, one, other) {#key, Text::key},
#define SKEDRA_TEXT_IN(key, context, text) {#key, Text::key},
#include "texts/catalogue.def"
#undef SKEDRA_TEXT
#undef SKEDRA_PLURAL
#undef SKEDRA_TEXT_IN
  };
  for (const Named& named : keys) {
    EXPECT_EQ(textNamed(named.name), std::optional<Text>(named.key)) << named.name;
  }
  for (const char* name : {"", "A", "k", "kPageTitl", "kPageTitles", "kpageTitle", "z"}) {
    EXPECT_EQ(textNamed(name), std::nullopt) << name;
  }
  EXPECT_EQ(textOfName("kPageTitle"), "Recording timers");
  EXPECT_EQ(textOfName("kNoSuchText"), "");
}

// Every name that a page template gives a "text" directive is a key of the
// catalogue, so no page loses a text to a misspelt or removed key.
TEST(Catalogue, EveryTemplateTextIsAKey) {
  const std::string opener = "<!--%quib text=\"";
  std::vector<std::string> names;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(SKEDRA_SOURCE_DIR) + "/www")) {
    if (entry.path().extension() != ".shtml") continue;
    const std::string text = readFile(entry.path().string());
    for (size_t at = text.find(opener); at != std::string::npos; at = text.find(opener, at)) {
      at += opener.size();
      const std::string name = text.substr(at, text.find('"', at) - at);
      EXPECT_TRUE(textNamed(name).has_value()) << entry.path().filename() << ": " << name;
      names.push_back(name);
    }
  }
  EXPECT_GT(names.size(), 50u);
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

// Each language writes a moment in its own order and form.
TEST(Catalogue, DatesInEachLanguagesForm) {
  std::tm local{};
  local.tm_year = 127;
  local.tm_mon = 2;
  local.tm_mday = 15;
  local.tm_wday = 1;
  local.tm_hour = 20;
  local.tm_min = 5;
  struct Case {
    const char* tag;
    Text format;
    const char* expected;
  };
  const Case cases[] = {
      {"en", Text::kMomentFormat, "Mon 15/3 20:05"},
      {"en", Text::kStartsAtFormat, "Mon 15/03/2027 20:05"},
      {"de", Text::kMomentYearFormat, "Mo., 15.03.2027, 20:05"},
      {"de", Text::kMomentFormat, "Mo., 15.03., 20:05"},
      {"de", Text::kDayFormat, "Mo., 15.03.2027"},
      {"fr", Text::kMomentYearFormat, "lun. 15/03/2027 20:05"},
      {"pl", Text::kMomentYearFormat, "pon., 15.03.2027, 20:05"},
  };
  for (const Case& c : cases) {
    const Catalogue* language = findCatalogue(c.tag);
    if (language == nullptr) continue;  // a build without that language
    speak(*language);
    std::string text;
    appendMoment(text, c.format, local, "2027");
    EXPECT_EQ(text, c.expected) << c.tag;
  }
  speak(englishCatalogue());
}

TEST(Catalogue, AcceptLanguageLooksUpTheMostWantedRangeThatHasACatalogue) {
  const std::string pseudo = findCatalogue("en-XA") ? "en-XA" : "en";
  std::string sixteenOthers;
  for (int i = 0; i < 16; ++i) sixteenOthers += "es,";
  struct Case {
    std::string header;
    std::string expected;  // the tag found, "" for none
  };
  const Case cases[] = {
      {"de", "de"},
      {"DE-at", "de"},
      {"de-x-old, fr", "de"},
      {"fr;q=0.5, pl;Q=0.8", "pl"},
      {"fr;q=0.5, de;q=0.5", "fr"},
      {"de;q=0, fr;q=0.001", "fr"},
      {"de;q=0.000, en-XA;q=0.1", pseudo},
      {"es, zh-Hant-x-de, pl;q=0.1", "pl"},
      {"es", ""},
      {"", ""},
      {"es, *;q=0.5, de;q=0.4", "en"},
      {"de;q=1.5, de;q=x, de;q=0.1234, de;level=1, d?, fr;q=0.2", "fr"},
      {" ,;,=;q=, ,\t pl\t;\tq=1.0", "pl"},
      {sixteenOthers + "de", ""},
      {sixteenOthers.substr(3) + "de", "de"},
      // The element cut at the byte limit is left out.
      {std::string(510, ' ') + "plxy", ""},
      {std::string(600, ',') + "de", ""},
      {"toolongsubtag-de, fr", "fr"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    const Catalogue* found = acceptedCatalogue(c.header);
    EXPECT_EQ(found ? std::string(found->tag) : std::string(), c.expected);
  }
}

}  // namespace
