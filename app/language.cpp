// The page's language: the Accept-Language lookup, the order of the user's
// choices and the cookie that keeps the choice of a browser.
#include "app/language.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quib/quib.h"

namespace {

constexpr std::string_view kLanguageCookie = "skedralang";
// A choice is kept for a year.
constexpr std::string_view kLanguageCookieAttributes = "; SameSite=Lax; Max-Age=31536000";

// The choice that the page's language form shows selected.
std::string chosen_tag;

bool isAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A language range: "*", or subtags of 1 to 8 letters and digits joined by
// '-', the first of letters only.
bool isLanguageRange(std::string_view range) {
  if (range == "*") return true;
  size_t length = 0;
  bool first = true;
  for (char c : range) {
    if (c == '-') {
      if (length == 0) return false;
      length = 0;
      first = false;
    } else if (isAlpha(c) || (!first && isDigit(c))) {
      if (++length > 8) return false;
    } else {
      return false;
    }
  }
  return length > 0;
}

// A quality value in thousandths: "0" to "1" with up to three decimals; none
// when malformed.
std::optional<int> qualityValue(std::string_view text) {
  if (text.empty() || (text[0] != '0' && text[0] != '1')) return std::nullopt;
  int value = (text[0] - '0') * 1000;
  if (text.size() == 1) return value;
  if (text[1] != '.' || text.size() > 5) return std::nullopt;
  int scale = 100;
  for (char c : text.substr(2)) {
    if (!isDigit(c)) return std::nullopt;
    value += (c - '0') * scale;
    scale /= 10;
  }
  return value <= 1000 ? std::optional<int>(value) : std::nullopt;
}

// The quality of one element of the header ("range;q=0.5"); none when it is
// malformed.
std::optional<int> elementQuality(std::string_view parameters) {
  int quality = 1000;
  while (!parameters.empty()) {
    const size_t end = parameters.find(';');
    const std::string_view parameter = trimmed(parameters.substr(0, end));
    parameters = end == std::string_view::npos ? std::string_view() : parameters.substr(end + 1);
    if (parameter.size() < 2 || (parameter[0] != 'q' && parameter[0] != 'Q') ||
        parameter[1] != '=') {
      return std::nullopt;
    }
    std::optional<int> value = qualityValue(parameter.substr(2));
    if (!value) return std::nullopt;
    quality = *value;
  }
  return quality;
}

}  // namespace

std::vector<std::string_view> acceptedRanges(std::string_view header) {
  if (header.size() > kMaxAcceptLanguageBytes) {
    // The element cut at the limit is left out.
    header = header.substr(0, kMaxAcceptLanguageBytes);
    const size_t lastComma = header.rfind(',');
    header = lastComma == std::string_view::npos ? std::string_view() : header.substr(0, lastComma);
  }
  struct Weighted {
    std::string_view range;
    int quality;
  };
  std::vector<Weighted> ranges;
  size_t elements = 0;
  while (!header.empty() && elements < kMaxLanguageRanges) {
    const size_t end = header.find(',');
    const std::string_view element = trimmed(header.substr(0, end));
    header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
    if (element.empty()) continue;
    ++elements;
    const size_t semicolon = element.find(';');
    const std::string_view range = trimmed(element.substr(0, semicolon));
    const std::optional<int> quality = elementQuality(
        semicolon == std::string_view::npos ? std::string_view() : element.substr(semicolon + 1));
    if (quality && *quality > 0 && isLanguageRange(range)) ranges.push_back({range, *quality});
  }
  std::stable_sort(ranges.begin(), ranges.end(),
                   [](const Weighted& a, const Weighted& b) { return a.quality > b.quality; });
  std::vector<std::string_view> ordered;
  ordered.reserve(ranges.size());
  for (const Weighted& weighted : ranges) ordered.push_back(weighted.range);
  return ordered;
}

const Catalogue* acceptedCatalogue(std::string_view header) {
  for (std::string_view range : acceptedRanges(header)) {
    if (range == "*") return &catalogueAt(0);
    while (true) {
      if (const Catalogue* found = findCatalogue(range)) return found;
      size_t dash = range.rfind('-');
      if (dash == std::string_view::npos) break;
      // A single-letter subtag left at the end introduces the one removed.
      if (dash >= 2 && range[dash - 2] == '-') dash -= 2;
      range = range.substr(0, dash);
    }
  }
  return nullptr;
}

const Catalogue& pickCatalogue(std::string_view choice, std::string_view cookie,
                               std::string_view acceptLanguage) {
  for (std::string_view tag : {choice, cookie}) {
    if (const Catalogue* found = tag.empty() ? nullptr : findCatalogue(tag)) return *found;
  }
  const Catalogue* accepted = acceptedCatalogue(acceptLanguage);
  return accepted ? *accepted : catalogueAt(0);
}

void speakRequestLanguage(const std::optional<std::string>& justChosen,
                          std::string_view accountChoice) {
  const char* header = std::getenv("HTTP_ACCEPT_LANGUAGE");
  const std::string_view acceptLanguage = header ? std::string_view(header) : std::string_view();
  std::optional<std::string> cookie;
  if (!justChosen) cookie = quibGetCookie(kLanguageCookie);
  const std::string_view choice = justChosen ? std::string_view(*justChosen) : accountChoice;
  const Catalogue& language = pickCatalogue(choice, cookie.value_or(""), acceptLanguage);
  // The form shows the choice the language came from, not the browser's.
  const bool fromChoice =
      &language == findCatalogue(choice) || (cookie && &language == findCatalogue(*cookie));
  chosen_tag = fromChoice ? language.tag : std::string_view();
  speak(language);
  quibSetContentLanguage(language.tag);
}

std::string_view languageChoice() {
  return chosen_tag;
}

std::optional<std::string> requestedLanguage() {
  const ParamValue value = getParam("language");
  const std::string tag = value ? quibUrlDecode(*value) : std::string();
  if (tag.empty()) return tag;
  const Catalogue* language = findCatalogue(tag);
  if (!language) return std::nullopt;
  return std::string(language->tag);
}

void setLanguageCookie(std::string_view tag) {
  if (tag.empty()) {
    quibRemoveCookie(kLanguageCookie);
    return;
  }
  std::string cookie(kLanguageCookie);
  cookie += '=';
  cookie += tag;
  cookie += kLanguageCookieAttributes;
  quibSetCookie(cookie);
}
