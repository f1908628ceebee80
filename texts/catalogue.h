// The catalogue of the timer interface's texts: every message, notice, label
// and name that it prints, keyed by Text, in English. A text with a number in
// it has a form for one and a form for any other count; the values of a text
// are filled into its numbered places "{1}", "{2}" ..., so that a translation
// may put them where its language wants them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// The keys of the catalogue, from the one list of its entries.
enum class Text : uint16_t {
#define SKEDRA_TEXT(key, text) key,
#define SKEDRA_TEXT_IN(key, context, text) key,
#define SKEDRA_PLURAL(key, one, other) key,
#include "texts/catalogue.def"
#undef SKEDRA_TEXT
#undef SKEDRA_TEXT_IN
#undef SKEDRA_PLURAL
};

// How many keys the catalogue has.
constexpr size_t kTextCount = 0
#define SKEDRA_TEXT(key, text) +1
#define SKEDRA_TEXT_IN(key, context, text) +1
#define SKEDRA_PLURAL(key, one, other) +1
#include "texts/catalogue.def"
#undef SKEDRA_TEXT
#undef SKEDRA_TEXT_IN
#undef SKEDRA_PLURAL
    ;

// A language the interface speaks: its tag ("de"), its own name
// ("Deutsch"), whether the pages offer it (the test language is never
// offered), the forms of every key, key by key (a text without a count has
// one form, a text with a count has as many as the language has plural
// forms) and the rule that tells which form a count takes.
struct Catalogue {
  std::string_view tag;
  std::string_view name;
  bool offered;
  const char* text;        // every form of every key, one after another
  const uint16_t* starts;  // where each form starts in text, and the end
  const uint16_t* first;   // the index in starts of each key's first form
  size_t (*form)(uint64_t count);
};

// The languages, English first.
size_t catalogueCount();
const Catalogue& catalogueAt(size_t index);
// The language of that tag, compared without regard to case, or null.
const Catalogue* findCatalogue(std::string_view tag);
// The English catalogue, which the interface speaks unless told otherwise.
const Catalogue& englishCatalogue();
// Makes textOf and everything built on it answer in that language.
void speak(const Catalogue& language);
const Catalogue& spokenCatalogue();
// How many forms key has in that language, and one of them.
size_t formCount(const Catalogue& language, Text key);
std::string_view formOf(const Catalogue& language, Text key, size_t form);

// The text of key in the spoken language (the form for a count of 2 where
// it has forms for counts).
std::string_view textOf(Text key);
// The form of key that count takes.
std::string_view textOf(Text key, int64_t count);
// pattern with "{1}" replaced by the first value, "{2}" by the second, and so
// on ("{1}" to "{9}"); a place without a value stays empty, any other brace
// is copied as it stands. The result grows to whatever length it needs.
std::string fillText(std::string_view pattern, std::initializer_list<std::string_view> values);
// The same appended to text, for a text built of many.
void appendFilled(std::string& text, std::string_view pattern,
                  std::initializer_list<std::string_view> values);
// The text of key with its values filled in.
std::string textWith(Text key, std::initializer_list<std::string_view> values);
// The form of key that count takes, with count in decimal as "{1}".
std::string countText(Text key, int64_t count);
// The key whose name is name ("kSignIn" for Text::kSignIn), for the page
// templates that name their texts; none for a name that is no key.
std::optional<Text> textNamed(std::string_view name);
// The text of the key named name, or an empty text for a name that is no key:
// the page text that a template's "text" directive stands for.
std::string_view textOfName(std::string_view name);
