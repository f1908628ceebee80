// The calendar feed: the enabled timers as an iCalendar document (RFC 5545),
// one event per timer spanning what it records, margins included.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/timer.h"

// What the calendar is made from besides the timer rows.
struct CalendarFeed {
  // The recorder's POSIX zone rule, the one that the C library reads local
  // times in (recorderZone().rule); empty when that zone is not known.
  std::string_view zoneRule;
  // The zone's name ("Europe/Berlin") when it was given by one; the
  // calendar's zone is called so, else "skedra".
  std::string_view zoneName;
  // The recorder's host name, which makes the events' UIDs unique.
  std::string_view host;
  // The time of the request (seconds since 1970), the events' DTSTAMP.
  int64_t now = 0;
  // A channel's name, -1 for the external AV input.
  std::function<std::string(int16_t channel)> channelName;
};

// The calendar of the rows (as readTimerRows reads them): a VEVENT for each
// enabled timer with a window of some length, those in the past included,
// a pattern of days (codes 1-11) as its RRULE, any other code as its first
// window. Times are local times of a VTIMEZONE made from the zone's rule; when
// the rule's dates of change cannot be said as yearly rules (Jn, n, a day
// moved across a month's end) or the zone is not known, every time is
// written in UTC and there is no VTIMEZONE (a pattern's RRULE then repeats
// its first window's UTC time, which a daylight-saving change moves by the
// change). Lines end in CRLF and are folded at 75 octets; bytes of a text
// that are not UTF-8 read as U+FFFD.
std::string recordingsCalendar(const std::vector<ScheduleRow>& rows, const CalendarFeed& feed);
