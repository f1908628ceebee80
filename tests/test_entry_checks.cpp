// The checks of a timer as the form entered it, without any database: the
// bounds that refuse a write, what the page says for each, and the remark on
// an entered date or time that the conversion moved.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "model/entry_checks.h"
#include "model/picked_times.h"
#include "model/timer.h"
#include "support/test_env.h"
#include "views/html/entry_remarks.h"
#include "views/html/notices.h"

namespace {

using R = EntryRefusal;

using Picked = std::optional<std::string_view>;
constexpr Picked kAbsent = std::nullopt;

// A timer as the form sends it, margins in minutes.
TimerValues entry(int32_t day, int32_t month, int32_t year, int32_t hh, int32_t mm, int32_t hours,
                  int32_t mins, int32_t prepad = 0, int32_t postpad = 0, int32_t repeat = 0) {
  TimerValues values;
  values.channel = 7;
  values.day = day, values.month = month, values.year = year, values.hh = hh, values.mm = mm;
  values.hours = hours, values.mins = mins, values.repeat = repeat;
  values.prepad = prepad * 60, values.postpad = postpad * 60;
  return values;
}

class EntryChecks : public ::testing::Test {
 protected:
  void TearDown() override { useTimeZone("UTC"); }
};

// What the page says of an entry, checked as the write checks it: margins
// within 12 hours either way first, then a window, margins included, of more
// than nothing and at most 24 hours, then a recording, margins included, that
// ends before 2038-01-19 03:14:07 UTC, read at its first start after any move
// of its pattern.
TEST_F(EntryChecks, RefusalsSayWhy) {
  const std::string margin =
      "Not saved: a margin must lie between -720 and 720 minutes (12 hours).";
  const std::string empty = "Not saved: with its margins the recording would not last at all.";
  const std::string tooLong =
      "Not saved: with its margins the recording would last more than 24 hours.";
  const std::string clock =
      "Not saved: the recorder's clock ends on 19/1/2038 at 03:14 UTC; a timer, margins "
      "included, must end before then.";
  const char* const est = "EST5EDT,M3.2.0,M11.1.0";
  const struct {
    TimerValues values;
    std::string notice;
    const char* zone = "UTC";
  } cases[] = {
      {entry(2, 2, 2027, 20, 0, 24, 0), ""},
      {entry(2, 2, 2027, 20, 0, 0, 1, 720, -720), ""},
      {entry(2, 2, 2027, 20, 0, 0, 1, -720, 720), ""},
      {entry(2, 2, 2027, 20, 0, 0, 0), empty},
      {entry(2, 2, 2027, 20, 0, 12, 0, -720), empty},
      {entry(2, 2, 2027, 20, 0, INT32_MIN, INT32_MIN), empty},
      {entry(2, 2, 2027, 20, 0, 24, 1), tooLong},
      {entry(2, 2, 2027, 20, 0, INT32_MAX, 0), tooLong},
      {entry(2, 2, 2027, 20, 0, 1, 0, 721), margin},
      {entry(2, 2, 2027, 20, 0, 1, 0, 0, -721), margin},
      {entry(2, 2, 2027, 20, 0, 0, 0, 721), margin},
      {entry(19, 1, 2038, 2, 14, 1, 0), ""},
      {entry(19, 1, 2038, 2, 14, 1, 1), clock},
      {entry(19, 1, 2038, 2, 14, 1, 0, 0, 1), clock},
      {entry(15, 6, 2038, 20, 0, 1, 0), clock},
      {entry(13, 6, 2039, 20, 0, 1, 0, 0, 0, 1), clock},
      {entry(18, 1, 2038, 22, 14, 0, 1), clock, est},
      {entry(18, 1, 2038, 22, 13, 0, 1), "", est},
      // Entered for Monday 18 January 2038, a "Sat" timer first records on
      // the 23rd, a "Mon" timer on the 18th.
      {entry(18, 1, 2038, 20, 0, 1, 0, 0, 0, 11), clock},
      {entry(18, 1, 2038, 20, 0, 1, 0, 0, 0, 6), ""},
  };
  for (const auto& c : cases) {
    const TimerValues& v = c.values;
    SCOPED_TRACE(testing::PrintToString(&c - cases));
    useTimeZone(c.zone);
    std::optional<R> refusal = entryRefusal(v.prepad / 60, v.postpad / 60, v.hours, v.mins);
    if (!refusal) refusal = clockRefusal(v);
    EXPECT_EQ(refusal ? std::string(refusalNotice(*refusal)) : "", c.notice);
  }
  // The padding defaults, saved alone, have the margins' bounds.
  EXPECT_EQ(marginRefusal(720, -720), std::nullopt);
  EXPECT_EQ(marginRefusal(-721, 0), R::kMarginOutOfRange);
}

// A date the conversion moved is named as entered and as read, with the time
// of day on both sides when that moved; the move of a repeating timer's first
// start onto an allowed day is no such move.
TEST_F(EntryChecks, RemarkOnAMovedDateOrTime) {
  const struct {
    const char* zone;
    TimerValues values;
    std::string remark;
  } cases[] = {
      {"UTC", entry(31, 2, 2027, 20, 0, 1, 0), "31/2/2027 was read as 3/3/2027."},
      {"UTC", entry(9, 12, 2026, 23, 75, 1, 0), "9/12/2026 23:75 was read as 10/12/2026 00:15."},
      {"UTC", entry(8, 12, 2026, 44, 30, 1, 0), "8/12/2026 44:30 was read as 9/12/2026 20:30."},
      {"UTC", entry(2, 2, 2027, 20, 0, 1, 0), ""},
      // Saturday entered for "Mon-Fri": booked on Monday, read as entered.
      {"UTC", entry(12, 12, 2026, 20, 0, 1, 0, 0, 0, 2), ""},
      {"Europe/Berlin", entry(28, 3, 2027, 2, 30, 1, 0),
       "28/3/2027 02:30 was read as 28/3/2027 03:30."},
      {"Europe/Berlin", entry(31, 10, 2027, 2, 30, 1, 0), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remark);
    useTimeZone(c.zone);
    EXPECT_EQ(normalisedRemark(c.values), c.remark);
  }
}

// The date and time pickers over the number fields they replace, each read
// as a whole: an end before the start is on the next day, one at the start
// gives no length; a malformed value changes none of its fields and
// says why, the first in the order date, start, end.
TEST_F(EntryChecks, PickersReplaceTheFieldsTheyStandFor) {
  using std::nullopt;
  const struct {
    Picked date, start, end;
    TimerValues expected;  // from entry(2, 2, 2027, 20, 0, 1, 0), as sent
    std::optional<R> refusal;
  } cases[] = {
      {"2027-03-14", "20:15", "21:45", entry(14, 3, 2027, 20, 15, 1, 30), nullopt},
      {kAbsent, kAbsent, kAbsent, entry(2, 2, 2027, 20, 0, 1, 0), nullopt},
      {kAbsent, "06:05", kAbsent, entry(2, 2, 2027, 6, 5, 1, 0), nullopt},
      // Across midnight, at the start, just after it.
      {kAbsent, "23:30", "00:15", entry(2, 2, 2027, 23, 30, 0, 45), nullopt},
      {kAbsent, "20:15", "20:15", entry(2, 2, 2027, 20, 15, 0, 0), nullopt},
      // An end alone counts from hh and mm as sent.
      {kAbsent, kAbsent, "21:30", entry(2, 2, 2027, 20, 0, 1, 30), nullopt},
      // A day past the month's end is read on as "day" is.
      {"2027-02-31", kAbsent, kAbsent, entry(31, 2, 2027, 20, 0, 1, 0), nullopt},
      {"2027-3-14", "20:15", "21:45", entry(2, 2, 2027, 20, 15, 1, 30), R::kDateMalformed},
      {"2027-13-01", kAbsent, kAbsent, entry(2, 2, 2027, 20, 0, 1, 0), R::kDateMalformed},
      {"2027-01-32", kAbsent, kAbsent, entry(2, 2, 2027, 20, 0, 1, 0), R::kDateMalformed},
      {"", kAbsent, kAbsent, entry(2, 2, 2027, 20, 0, 1, 0), R::kDateMalformed},
      {"2027-03-14", "24:00", "21:45", entry(14, 3, 2027, 20, 0, 1, 0), R::kStartMalformed},
      {kAbsent, "20:60", kAbsent, entry(2, 2, 2027, 20, 0, 1, 0), R::kStartMalformed},
      {kAbsent, "20:15:00", kAbsent, entry(2, 2, 2027, 20, 0, 1, 0), R::kStartMalformed},
      {kAbsent, "20:15", "21.45", entry(2, 2, 2027, 20, 15, 1, 0), R::kEndMalformed},
      {"x", "y", "z", entry(2, 2, 2027, 20, 0, 1, 0), R::kDateMalformed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(&c - cases));
    TimerValues values = entry(2, 2, 2027, 20, 0, 1, 0);
    EXPECT_EQ(applyPickedTimes({c.date, c.start, c.end}, values), c.refusal);
    const TimerValues& e = c.expected;
    EXPECT_EQ((std::vector<int32_t>{values.day, values.month, values.year, values.hh, values.mm,
                                    values.hours, values.mins}),
              (std::vector<int32_t>{e.day, e.month, e.year, e.hh, e.mm, e.hours, e.mins}));
  }
  // Across a change of the clocks, the end is the local time entered, and
  // the end picker shows it back.
  useTimeZone("Europe/Berlin");
  for (const auto& [day, month, minutes] : {std::tuple{28, 3, 60}, std::tuple{31, 10, 180}}) {
    TimerValues night = entry(day, month, 2027, 20, 0, 1, 0);
    EXPECT_EQ(applyPickedTimes({kAbsent, "01:30", "03:30"}, night), std::nullopt);
    EXPECT_EQ(night.hours * 60 + night.mins, minutes) << day;
    EXPECT_EQ(pickerEnd(night), "03:30") << day;
  }
  // What the pickers show of a form: an impossible date as none, a time of
  // day past midnight as its time on the next day.
  EXPECT_EQ(pickerDate(0, 0, 0), "");
  EXPECT_EQ(pickerTime(23 * 60 + 30 + 24 * 60), "23:30");
  EXPECT_EQ(pickerTime(-30), "23:30");
}

}  // namespace
