// The English texts of the catalogue and the filling of their places.
#include "texts/catalogue.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace {

#include "catalogue_tables.inc"

constexpr size_t kCatalogueCount = sizeof kCatalogues / sizeof kCatalogues[0];

// Form index of a language: its text.
std::string_view formText(const Catalogue& language, size_t index) {
  return std::string_view(language.text + language.starts[index],
                          size_t{language.starts[index + 1]} - language.starts[index]);
}

constexpr size_t kNameCount = sizeof kNameKeys / sizeof kNameKeys[0];
static_assert(kNameCount == kTextCount);

// The language that the interface speaks.
const Catalogue* spoken = &kCatalogues[0];

bool sameTag(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

}  // namespace

size_t catalogueCount() {
  return kCatalogueCount;
}

const Catalogue& catalogueAt(size_t index) {
  return kCatalogues[index < kCatalogueCount ? index : 0];
}

const Catalogue* findCatalogue(std::string_view tag) {
  for (const Catalogue& language : kCatalogues) {
    if (sameTag(language.tag, tag)) return &language;
  }
  return nullptr;
}

const Catalogue& englishCatalogue() {
  return kCatalogues[0];
}

void speak(const Catalogue& language) {
  spoken = &language;
}

const Catalogue& spokenCatalogue() {
  return *spoken;
}

size_t formCount(const Catalogue& language, Text key) {
  const size_t index = static_cast<size_t>(key);
  return size_t{language.first[index + 1]} - language.first[index];
}

std::string_view formOf(const Catalogue& language, Text key, size_t form) {
  const size_t count = formCount(language, key);
  return formText(language, language.first[static_cast<size_t>(key)] + (form < count ? form : 0));
}

std::string_view textOf(Text key) {
  return textOf(key, 2);
}

std::string_view textOf(Text key, int64_t count) {
  const Catalogue& language = *spoken;
  const size_t index = static_cast<size_t>(key);
  const size_t first = language.first[index];
  if (language.first[index + 1] - first == 1) return formText(language, first);
  const uint64_t magnitude =
      count < 0 ? uint64_t{0} - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
  return formText(language, first + language.form(magnitude));
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

std::optional<Text> textNamed(std::string_view name) {
  uint32_t hash = 2166136261u;
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  const uint32_t* const end = kNameHashes + kNameCount;
  const uint32_t* const found = std::lower_bound(kNameHashes, end, hash);
  if (found == end || *found != hash) return std::nullopt;
  const size_t at = static_cast<size_t>(found - kNameHashes);
  const std::string_view candidate(kNameText + kNameStarts[at],
                                   size_t{kNameStarts[at + 1]} - kNameStarts[at]);
  if (candidate != name) return std::nullopt;
  return static_cast<Text>(kNameKeys[at]);
}

std::string_view textOfName(std::string_view name) {
  const std::optional<Text> key = textNamed(name);
  return key ? textOf(*key) : std::string_view();
}
