// How instants and overlaps read on the page.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/local_time.h"
#include "texts/catalogue.h"

// The abbreviated name of a weekday (0 Sunday to 6 Saturday) and of a month
// (0 January to 11 December).
std::string_view weekdayName(int weekday);
std::string_view monthName(int month);
// The same in English, whatever the page speaks.
std::string_view englishWeekdayName(int weekday);
std::string_view englishMonthName(int month);
// "Tue Mar  4 20:10:00 2025" and a newline, as the C library's ctime writes
// local fields, in English in every language.
std::string timestampText(const std::tm& local);

// Appends the local fields as format, one of the catalogue's moment formats,
// writes them ("Tue 9/12 20:15" in English); year is the text of {4}.
void appendMoment(std::string& text, Text format, const std::tm& local, std::string_view year);

// "Tue 9/12 20:15": the local weekday, day/month and time of an instant.
std::string momentLabel(int64_t instant);
// The same with the zone's offsets read beforehand.
std::string momentLabel(int64_t instant, const ZoneOffsets& zone);
// With the year when withYear: "Tue 9/12/2025 20:15".
std::string momentLabel(int64_t instant, const ZoneOffsets& zone, bool withYear);

// "Overlaps with <title> on Tue 9/12 20:00", the title HTML-escaped: a
// row's overlap warning.
std::string overlapText(std::string_view otherTitle, int64_t moment);
