// The language a page speaks: the user's choice (stored with the account or
// in the "skedralang" cookie), else the browser's Accept-Language, else
// English.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "texts/catalogue.h"

// The language ranges of an Accept-Language header, the most wanted first
// (by quality value; equal ones keep their order). Only the first
// kMaxAcceptLanguageBytes bytes are read (a range cut there is left out), and
// at most kMaxLanguageRanges ranges; ranges with q=0 and malformed ones are
// left out. The views point into header.
constexpr size_t kMaxAcceptLanguageBytes = 512;
constexpr size_t kMaxLanguageRanges = 16;
std::vector<std::string_view> acceptedRanges(std::string_view header);
// The catalogue that an Accept-Language header asks for: each range in turn
// is looked up as it stands, then without its last subtag, and so on; "*"
// asks for English. None when no range names a catalogue.
const Catalogue* acceptedCatalogue(std::string_view header);

// The catalogue a page speaks: the first of choice and cookie that names a
// catalogue, else the header's, else English. "" names none.
const Catalogue& pickCatalogue(std::string_view choice, std::string_view cookie,
                               std::string_view acceptLanguage);

// Speaks the request's language and names it in the response's header. A
// choice just made (justChosen, "" for Automatic) replaces the stored ones;
// else the account's stored choice (accountChoice) comes before the cookie.
void speakRequestLanguage(const std::optional<std::string>& justChosen,
                          std::string_view accountChoice);
// The tag of the choice that the page's language form shows selected: the
// choice the language came from, "" when it came from the browser.
std::string_view languageChoice();

// The catalogue that the request's "language" value names; "" (Automatic)
// gives "", a tag that names no catalogue none.
std::optional<std::string> requestedLanguage();
// Queues the "skedralang" cookie that keeps tag, or its removal for "".
void setLanguageCookie(std::string_view tag);
