// The English texts of the catalogue and the filling of their places.
#include "texts/catalogue.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace {

constexpr TextForms kEnglish[] = {
#define SKEDRA_TEXT(key, text) {text, text},
#define SKEDRA_TEXT_IN(key, context, text) {text, text},
#define SKEDRA_PLURAL(key, one, other) {one, other},
#include "texts/catalogue.def"
#undef SKEDRA_TEXT
#undef SKEDRA_TEXT_IN
#undef SKEDRA_PLURAL
};
static_assert(sizeof kEnglish / sizeof kEnglish[0] == kTextCount);

bool englishTakesOne(int64_t count) {
  return count == 1 || count == -1;
}

constexpr Catalogue kEnglishCatalogue{kEnglish, englishTakesOne};

// The catalogue that the interface speaks.
const Catalogue& catalogue() {
  return kEnglishCatalogue;
}

}  // namespace

const Catalogue& englishCatalogue() {
  return kEnglishCatalogue;
}

std::string_view textOf(Text key) {
  return catalogue().forms[static_cast<size_t>(key)].other;
}

std::string_view textOf(Text key, int64_t count) {
  const Catalogue& texts = catalogue();
  const TextForms& forms = texts.forms[static_cast<size_t>(key)];
  return texts.takesOne(count) ? forms.one : forms.other;
}

std::string fillText(std::string_view pattern, std::initializer_list<std::string_view> values) {
  std::string text;
  size_t length = pattern.size();
  for (std::string_view value : values) length += value.size();
  text.reserve(length);
  appendFilled(text, pattern, values);
  return text;
}

void appendFilled(std::string& text, std::string_view pattern,
                  std::initializer_list<std::string_view> values) {
  size_t at = 0;
  while (at < pattern.size()) {
    const size_t open = pattern.find('{', at);
    if (open == std::string_view::npos || pattern.size() - open < 3) break;
    const char digit = pattern[open + 1];
    if (digit < '1' || digit > '9' || pattern[open + 2] != '}') {
      text.append(pattern, at, open + 1 - at);
      at = open + 1;
      continue;
    }
    text.append(pattern, at, open - at);
    const size_t index = static_cast<size_t>(digit - '1');
    if (index < values.size()) text.append(values.begin()[index]);
    at = open + 3;
  }
  if (at < pattern.size()) text.append(pattern, at, std::string_view::npos);
}

std::string textWith(Text key, std::initializer_list<std::string_view> values) {
  return fillText(textOf(key), values);
}

std::string countText(Text key, int64_t count) {
  return fillText(textOf(key, count), {std::to_string(count)});
}
