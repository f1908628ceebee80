// Titles as text: UTF-8 checks and how a stored title is shown and kept.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "model/entry_refusal.h"

// The longest title a form may send, in characters: as many as a broadcast's
// event name can carry (its length is one byte, one byte a character in the
// broadcast's own character sets), the longest the firmware writes itself;
// the table column has no bound of its own.
constexpr size_t kTitleMaxCharacters = 255;

// True when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing beyond U+10FFFF).
bool isUtf8(std::string_view text);
// A stored title as the pages show it: unchanged when it is UTF-8, else
// every byte read as its Latin-1 character.
std::string readableTitle(std::string_view stored);
// Checks the title that a form sent. One that equals how the page showed the
// stored title (stored: none for a new timer) takes the stored bytes, so
// that saving a form unchanged keeps them; any other is refused (kTitleNotUtf8
// or kTitleTooLong) when it is not UTF-8 or longer than kTitleMaxCharacters.
std::optional<EntryRefusal> acceptTitle(std::string& title,
                                        const std::optional<std::string>& stored);
