// When a write books a timer, without any database: the entered local date
// and time, the first start of a repeating timer moved onto a day its
// pattern allows, and the push of a start too close to now.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "model/booking.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "support/firmware.h"
#include "support/test_env.h"

namespace {

constexpr int64_t kDay = 86400;

class Booking : public ::testing::Test {
 protected:
  void TearDown() override { useTimeZone("UTC"); }
};

// ---------------------------------------------------------------------------
// Repeat moves. The dates lie years ahead, so the push for a start too close
// to now never applies. 2030-05-01 is a Wednesday.
// ---------------------------------------------------------------------------

TEST_F(Booking, RepeatMovesFirstStartOntoAllowedDay) {
  struct Case {
    int32_t repeat;
    int day;          // in May 2030 as entered
    int expectedDay;  // in May 2030 as booked
  } cases[] = {
      {0, 5, 5},    // Once on a Sunday: as entered
      {1, 4, 4},    // Everyday
      {2, 5, 6},    // Mon-Fri: Sunday to Monday
      {2, 4, 6},    // Mon-Fri: Saturday to the Monday two days later
      {2, 1, 1},    // Mon-Fri: Wednesday stays
      {3, 5, 6},    // Mon-Sat: Sunday to Monday
      {3, 4, 4},    // Mon-Sat: Saturday stays
      {4, 1, 4},    // Every Weekend: Wednesday to Saturday of that week
      {4, 5, 5},    // Every Weekend: Sunday stays
      {4, 6, 11},   // Every Weekend: Monday to Saturday
      {5, 1, 5},    // Sun: Wednesday to Sunday
      {8, 1, 1},    // Wed: Wednesday stays
      {8, 2, 8},    // Wed: Thursday six days forward
      {11, 5, 11},  // Sat: Sunday to Saturday
      {12, 1, 5},   // above Sat: target 7, Wednesday plus 7 - 3 days
      {20, 1, 13},  // target 15: Wednesday plus 15 - 3 days
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.repeat) + " " + std::to_string(c.day));
    TimerValues values;
    values.repeat = c.repeat;
    values.year = 2030, values.month = 5, values.day = c.day, values.hh = 21, values.mm = 10;
    std::tm start{};
    EXPECT_EQ(bookedStart(values, start), firmwareStartSeconds(2030, 5, c.expectedDay, 21, 10));
    EXPECT_EQ(start.tm_year + 1900, 2030);
    EXPECT_EQ(start.tm_mon + 1, 5);
    EXPECT_EQ(start.tm_mday, c.expectedDay);
    EXPECT_EQ(start.tm_hour, 21);
    EXPECT_EQ(start.tm_min, 10);
  }
}

TEST_F(Booking, OnceAndEverydayKeepStartInPast) {
  for (int32_t repeat : {0, 1}) {
    TimerValues values;
    values.repeat = repeat;
    values.year = 2001, values.month = 2, values.day = 3, values.hh = 20;
    std::tm start{};
    EXPECT_EQ(bookedStart(values, start), firmwareStartSeconds(2001, 2, 3, 20, 0)) << repeat;
    EXPECT_EQ(start.tm_mday, 3);
  }
}

// adjustSeconds moves a time forward by 0 to 6 whole days onto the target.
TEST(AdjustSeconds, ReachesFirstTargetOnOrAfterWeekday) {
  for (int32_t weekday = 0; weekday < 7; ++weekday) {
    for (int32_t target = 0; target < 7; ++target) {
      int32_t seconds = adjustSeconds(weekday, target);
      ASSERT_EQ(seconds % kDay, 0);
      int32_t daysForward = -seconds / static_cast<int32_t>(kDay);
      EXPECT_GE(daysForward, 0);
      EXPECT_LE(daysForward, 6);
      EXPECT_EQ((weekday + daysForward) % 7, target) << weekday << "->" << target;
    }
  }
  EXPECT_EQ(adjustSeconds(3, 10), -7 * kDay);  // beyond Saturday: target − weekday days
}

// Weekday of a time value in local time.
int weekdayOf(int64_t seconds) {
  std::time_t value = seconds;
  std::tm fields{};
  localtime_r(&value, &fields);
  return fields.tm_wday;
}

// Runs body(now) until the clock did not tick during it, so that "now" in the
// test and in the code under test are the same second.
template <typename Body>
void atSteadySecond(Body body) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::time_t now = std::time(nullptr);
    body(static_cast<int64_t>(now));
    if (std::time(nullptr) == now) return;
  }
  FAIL() << "the clock never held still";
}

TEST_F(Booking, StartCloserThanLeadIsPushedOneDay) {
  // A "same weekday" timer: pushed a day, it moves on to that weekday again.
  atSteadySecond([&](int64_t now) {
    std::tm fields{};
    int64_t start = now + 239;
    int32_t repeat = 5 + weekdayOf(start);
    EXPECT_EQ(adjustBookTime(static_cast<int32_t>(start), repeat, fields), start + 7 * kDay);
    start = now + 240;  // not strictly earlier: no push
    repeat = 5 + weekdayOf(start);
    EXPECT_EQ(adjustBookTime(static_cast<int32_t>(start), repeat, fields), start);
    EXPECT_EQ(fields.tm_wday, weekdayOf(start));
  });
}

TEST_F(Booking, PushIsOneDayHoweverFarInPast) {
  std::tm fields{};
  int64_t start = firmwareStartSeconds(2001, 2, 3, 20, 0);  // a Saturday
  EXPECT_EQ(adjustBookTime(static_cast<int32_t>(start), 5 + 0, fields), start + kDay);
  EXPECT_EQ(fields.tm_mday, 4);
  EXPECT_EQ(fields.tm_hour, 20);
}

TEST_F(Booking, MonFriJustBeforeStartMovesByWeekday) {
  // Days forward for a Mon-Fri start two minutes from now, by the weekday of
  // the start: pushed a day, then onto Monday when that lands on a weekend.
  // On a Friday this is the Friday 19:58 case: stored for Monday.
  const int64_t daysForward[7] = {1, 1, 1, 1, 1, 3, 2};
  atSteadySecond([&](int64_t now) {
    std::tm fields{};
    int64_t start = now + 120;
    EXPECT_EQ(adjustBookTime(static_cast<int32_t>(start), 2, fields),
              start + daysForward[weekdayOf(start)] * kDay);
  });
}

// The push of a start too close to now is a calendar day too: in Berlin the
// evening before the spring change, 20:15 moves to 20:15 of the change day.
TEST_F(Booking, PushAcrossChangeNightKeepsLocalTime) {
  useTimeZone("Europe/Berlin");
  std::tm fields{};
  int64_t start = firmwareStartSeconds(2027, 3, 27, 19, 15);  // 20:15 CET, long past
  EXPECT_EQ(adjustBookTime(static_cast<int32_t>(start), 5 + 0, fields),
            firmwareStartSeconds(2027, 3, 28, 18, 15));
  EXPECT_EQ(fields.tm_mday, 28);
  EXPECT_EQ(fields.tm_hour, 20);
  EXPECT_EQ(fields.tm_min, 15);
}

// The two local times of the autumn change: the repeated 2:30 is read as the
// later one (standard time), the skipped spring 2:30 moves on to 3:30.
TEST_F(Booking, LocalTimeOfChangeHours) {
  useTimeZone("Europe/Berlin");
  struct Case {
    int month, day, hour, minute;
    int64_t expected;
    int expectedHour;
  } cases[] = {
      {10, 31, 2, 30, firmwareStartSeconds(2027, 10, 31, 1, 30), 2},
      {10, 31, 1, 59, firmwareStartSeconds(2027, 10, 30, 23, 59), 1},
      {10, 31, 3, 0, firmwareStartSeconds(2027, 10, 31, 2, 0), 3},
      {3, 28, 2, 30, firmwareStartSeconds(2027, 3, 28, 1, 30), 3},
      {3, 28, 3, 0, firmwareStartSeconds(2027, 3, 28, 1, 0), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.month) + "/" + std::to_string(c.day) + " " +
                 std::to_string(c.hour) + ":" + std::to_string(c.minute));
    // Twice, with another reading in between: the answer does not depend on
    // what was converted before.
    for (int round = 0; round < 2; ++round) {
      std::tm fields{};
      fields.tm_year = 2027 - 1900;
      fields.tm_mon = c.month - 1;
      fields.tm_mday = c.day;
      fields.tm_hour = c.hour;
      fields.tm_min = c.minute;
      EXPECT_EQ(localTimeSeconds(fields), c.expected);
      EXPECT_EQ(fields.tm_hour, c.expectedHour);
      std::tm other{};
      other.tm_year = 2027 - 1900;
      other.tm_mon = 6;
      other.tm_mday = 1;
      localTimeSeconds(other);
    }
  }
}

}  // namespace
