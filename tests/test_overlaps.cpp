// Timers that cannot all record: each timer's first overlap, the timer it
// names and the instant it begins.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "model/overlaps.h"
#include "model/timer.h"
#include "support/firmware.h"
#include "support/test_env.h"
#include "views/html/timer_texts.h"

namespace {

// Now: Sunday 2027-01-10 00:00 UTC (the tests run in UTC).
const int64_t kNow = firmwareStartSeconds(2027, 1, 10, 0, 0);

// A timer on a day after kNow (0: that Sunday) from hh:mm for the minutes.
struct Spec {
  const char* title;
  int day;
  int hh, mm;
  int32_t minutes;
  bool av = false;
  int32_t repeat = 0;
  bool active = true;
};

TimerSchedule schedule(const Spec& spec) {
  TimerSchedule timer;
  timer.title = spec.title;
  timer.repeat = spec.repeat;
  timer.year = 2027;
  timer.month = 1;
  timer.day = 10 + spec.day;
  timer.hh = spec.hh;
  timer.mm = spec.mm;
  timer.timestampStart =
      static_cast<int32_t>(firmwareStartSeconds(2027, 1, 10 + spec.day, spec.hh, spec.mm));
  timer.timestampOffset = spec.minutes * 60;
  timer.active = spec.active;
  timer.av = spec.av;
  return timer;
}

// Each timer's first overlap as its row shows it, "" for none.
std::vector<std::string> overlapsOf(const std::vector<Spec>& specs, int32_t tuners) {
  std::vector<TimerSchedule> timers;
  for (const Spec& spec : specs) timers.push_back(schedule(spec));
  std::vector<std::string> texts;
  for (const auto& overlap : findOverlaps(timers, kNow, tuners)) {
    texts.push_back(overlap ? overlapText(timers[overlap->other].title, overlap->moment) : "");
  }
  return texts;
}

TEST(Overlaps, FirstOverlapOfEveryTimer) {
  struct Case {
    const char* what;
    int32_t tuners;
    std::vector<Spec> timers;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"same time on two channels",
       1,
       {{"A", 0, 20, 0, 60}, {"B", 0, 20, 0, 60}},
       {"Overlaps with B on Sun 10/1 20:00", "Overlaps with A on Sun 10/1 20:00"}},
      {"one ends as the other begins", 1, {{"A", 0, 20, 0, 60}, {"B", 0, 21, 0, 60}}, {"", ""}},
      {"the moment is the later start; the title is escaped",
       1,
       {{"News & <b>", 0, 20, 0, 60}, {"B", 0, 20, 30, 60}},
       {"Overlaps with B on Sun 10/1 20:30",
        "Overlaps with News &amp; &lt;b&gt; on Sun 10/1 20:30"}},
      {"the overlap that begins earliest",
       1,
       {{"A", 0, 20, 0, 180}, {"B", 0, 22, 0, 60}, {"C", 0, 21, 0, 90}},
       {"Overlaps with C on Sun 10/1 21:00", "Overlaps with A on Sun 10/1 22:00",
        "Overlaps with A on Sun 10/1 21:00"}},
      {"ties in database order",
       1,
       {{"A", 0, 20, 0, 60}, {"B", 0, 20, 0, 60}, {"C", 0, 20, 0, 60}},
       {"Overlaps with B on Sun 10/1 20:00", "Overlaps with A on Sun 10/1 20:00",
        "Overlaps with A on Sun 10/1 20:00"}},
      {"tuner and AV input record side by side; two AV timers do not",
       1,
       {{"T", 0, 20, 0, 60}, {"V", 0, 20, 0, 60, true}, {"W", 0, 20, 30, 60, true}},
       {"", "Overlaps with W on Sun 10/1 20:30", "Overlaps with V on Sun 10/1 20:30"}},
      {"two tuners: two at once is fine", 2, {{"A", 0, 20, 0, 60}, {"B", 0, 20, 0, 60}}, {"", ""}},
      {"two tuners: the third one puts all three over",
       2,
       {{"A", 0, 20, 0, 120}, {"B", 0, 20, 30, 120}, {"C", 0, 21, 0, 30}, {"D", 0, 23, 0, 60}},
       {"Overlaps with B on Sun 10/1 21:00", "Overlaps with A on Sun 10/1 21:00",
        "Overlaps with A on Sun 10/1 21:00", ""}},
      {"a disabled timer records nothing",
       1,
       {{"A", 0, 20, 0, 60}, {"B", 0, 20, 0, 60, false, 0, false}},
       {"", ""}},
      {"a daily timer meets a single one on its third day",
       1,
       {{"Daily", 0, 20, 0, 60, false, 1}, {"Once", 2, 20, 30, 60}},
       {"Overlaps with Once on Tue 12/1 20:30", "Overlaps with Daily on Tue 12/1 20:30"}},
      {"windows that ended do not count",
       1,
       {{"A", -1, 20, 0, 60}, {"B", -1, 20, 0, 60}, {"C", 0, 20, 0, 60}},
       {"", "", ""}},
      {"beyond the 14 days nothing counts",
       1,
       {{"A", 14, 20, 0, 60}, {"B", 14, 20, 0, 60}},
       {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(overlapsOf(c.timers, c.tuners), c.expected);
  }
}

// Each timer's overlaps: "B Sun 10/1 20:00, C Sun 10/1 21:00" and "+N"
// for those counted but not named.
std::vector<std::string> everyOverlapOf(const std::vector<Spec>& specs, int32_t tuners,
                                        size_t named = kOverlapsNamed) {
  std::vector<TimerSchedule> timers;
  for (const Spec& spec : specs) timers.push_back(schedule(spec));
  const TimerWindows windows = allTimerWindows(timers, kNow, occurrenceZone(kNow));
  std::vector<std::string> texts;
  for (const TimerOverlaps& overlaps : findEveryOverlap(timers, windows, tuners, named)) {
    std::string text;
    for (const TimerOverlap& overlap : overlaps.named) {
      if (!text.empty()) text += ", ";
      text += timers[overlap.other].title + " " + momentLabel(overlap.moment);
    }
    if (overlaps.more > 0) text += " +" + std::to_string(overlaps.more);
    texts.push_back(text);
  }
  return texts;
}

TEST(Overlaps, EveryOverlapOfEveryTimer) {
  struct Case {
    const char* what;
    int32_t tuners;
    size_t named;
    std::vector<Spec> timers;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"one tuner: a long timer overlaps two that follow each other",
       1,
       5,
       {{"A", 0, 20, 0, 180}, {"B", 0, 20, 30, 60}, {"C", 0, 21, 30, 60}},
       {"B Sun 10/1 20:30, C Sun 10/1 21:30", "A Sun 10/1 20:30", "A Sun 10/1 21:30"}},
      {"two tuners: the third puts all three over, a fourth later meets the two that record",
       2,
       5,
       {{"A", 0, 20, 0, 240}, {"B", 0, 20, 30, 120}, {"C", 0, 21, 0, 30}, {"D", 0, 22, 0, 60}},
       {"B Sun 10/1 21:00, C Sun 10/1 21:00, D Sun 10/1 22:00",
        "A Sun 10/1 21:00, C Sun 10/1 21:00, D Sun 10/1 22:00",
        "A Sun 10/1 21:00, B Sun 10/1 21:00", "A Sun 10/1 22:00, B Sun 10/1 22:00"}},
      {"still over capacity: a timer that starts meets every one that records",
       1,
       5,
       {{"A", 0, 20, 0, 120}, {"B", 0, 20, 0, 60}, {"C", 0, 20, 30, 120}},
       {"B Sun 10/1 20:00, C Sun 10/1 20:30", "A Sun 10/1 20:00, C Sun 10/1 20:30",
        "A Sun 10/1 20:30, B Sun 10/1 20:30"}},
      {"a pair is named once, at its first overlap",
       1,
       5,
       {{"Daily", 0, 20, 0, 60, false, 1}, {"Weekly", 1, 20, 30, 60, false, 6}},
       {"Weekly Mon 11/1 20:30", "Daily Mon 11/1 20:30"}},
      {"AV and tuners apart; a disabled timer overlaps nothing",
       1,
       5,
       {{"T", 0, 20, 0, 60},
        {"V", 0, 20, 0, 60, true},
        {"W", 0, 20, 30, 60, true},
        {"X", 0, 20, 0, 60, false, 0, false}},
       {"", "W Sun 10/1 20:30", "V Sun 10/1 20:30", ""}},
      {"beyond the names: earliest first, then in database order, the rest counted",
       1,
       2,
       {{"A", 0, 20, 0, 120}, {"B", 0, 21, 0, 30}, {"C", 0, 20, 30, 30}, {"D", 0, 20, 30, 30}},
       {"C Sun 10/1 20:30, D Sun 10/1 20:30 +1", "A Sun 10/1 21:00",
        "A Sun 10/1 20:30, D Sun 10/1 20:30", "A Sun 10/1 20:30, C Sun 10/1 20:30"}},
      {"two that start at once while over: each names the first in database order",
       1,
       1,
       {{"A", 0, 20, 0, 120}, {"B", 0, 20, 0, 60}, {"C", 0, 20, 30, 30}, {"D", 0, 20, 30, 30}},
       {"B Sun 10/1 20:00 +2", "A Sun 10/1 20:00 +2", "A Sun 10/1 20:30 +2",
        "A Sun 10/1 20:30 +2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(everyOverlapOf(c.timers, c.tuners, c.named), c.expected);
  }
}

TEST(Overlaps, ManyAtOneInstantNameFiveAndCountTheRest) {
  std::vector<Spec> specs(1000, Spec{"T", 0, 20, 0, 60});
  specs[0].title = "First";
  const std::vector<std::string> texts = everyOverlapOf(specs, kRecorderTuners);
  const std::string t = "T Sun 10/1 20:00";
  EXPECT_EQ(texts[0], t + ", " + t + ", " + t + ", " + t + ", " + t + " +994");
  for (size_t i = 1; i < texts.size(); ++i) {
    ASSERT_EQ(texts[i], "First Sun 10/1 20:00, " + t + ", " + t + ", " + t + ", " + t + " +994")
        << i;
  }
}

TEST(Overlaps, ManyAtOneInstantAllNameTheFirst) {
  std::vector<Spec> specs(1000, Spec{"T", 0, 20, 0, 60});
  specs[0].title = "First";
  specs[1].title = "Second";
  const std::vector<std::string> texts = overlapsOf(specs, kRecorderTuners);
  EXPECT_EQ(texts[0], "Overlaps with Second on Sun 10/1 20:00");
  for (size_t i = 1; i < texts.size(); ++i)
    ASSERT_EQ(texts[i], "Overlaps with First on Sun 10/1 20:00") << i;
}

}  // namespace
