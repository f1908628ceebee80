// How instants and overlaps read on the page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/local_time.h"

// "Tue 9/12 20:15": the local weekday, day/month and time of an instant.
std::string momentLabel(int64_t instant);
// The same with the zone's offsets read beforehand.
std::string momentLabel(int64_t instant, const ZoneOffsets& zone);

// "<title> on Tue 9/12 20:00", the title HTML-escaped: what a row's or a
// notice's overlap warning names.
std::string overlapText(std::string_view otherTitle, int64_t moment);
