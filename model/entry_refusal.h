// Why the entry of a timer (or of the padding defaults) is not written.
#pragma once

enum class EntryRefusal {
  kMarginOutOfRange,   // a margin beyond 12 hours either way
  kWindowNotPositive,  // the window, margins included, does not last at all
  kWindowTooLong,      // the window, margins included, lasts more than 24 hours
  kBeyondClock,        // the recording reaches the end of the 32-bit clock
  kTitleNotUtf8,       // the title is not UTF-8 text
  kTitleTooLong,       // the title is longer than kTitleMaxCharacters
  kDateMalformed,      // the date picker's value is not a date YYYY-MM-DD
  kStartMalformed,     // the start picker's value is not a time HH:MM
  kEndMalformed,       // the end picker's value is not a time HH:MM
};
