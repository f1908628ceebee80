// The response header and cookies: Set-Cookie lines queued until the next
// header, the header itself, and the cookies the browser sent.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "quib/cookies.h"
#include "quib/response.h"
#include "quib/template.h"

const char* const quibSessionCookieName = "quibsession";

namespace {

// Pending Set-Cookie lines, in queueing order; empty when none are pending.
std::string quibCookies;
// The page's language tag; empty: the header names none.
std::string quibContentLanguage;

constexpr const char* quibDayOfWeek[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* quibMonth[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char quibLocalhost[] = "localhost";

// Expiry dates are kept within what time_t holds on this platform (32 bits on
// the recorder: a later date is the last one it can express, rather than a
// wrapped one in the past, which would delete the cookie) and within years
// 1 to 9999, which gmtime_r can always break down.
constexpr int64_t kFirstExpiry = -62135596800;  // 1-Jan-0001 00:00:00
constexpr int64_t kLastExpiry = 253402300799;   // 31-Dec-9999 23:59:59

// printf into a new text.
__attribute__((format(printf, 1, 2))) std::string formatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list sizing;
  va_copy(sizing, args);
  const int length = std::vsnprintf(nullptr, 0, format, sizing);
  va_end(sizing);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length));
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  va_end(args);
  return text;
}

void queueLine(const std::string& line) {
  quibCookies += line;
}

// Writes the pending cookie lines verbatim and empties the queue, so that a
// later header writes none of them again.
void printCookies() {
  if (quibCookies.empty()) return;
  quibOut(quibCookies);
  quibCookies.clear();
  quibCookies.shrink_to_fit();
}

}  // namespace

// Lines that keep every page out of caches and frames, send no referrer to
// other sites and stop content sniffing; written right before the content
// type of every page.
constexpr const char* kProtectiveHeaders =
    "Cache-Control: no-store\n"
    "X-Frame-Options: DENY\n"
    "Content-Security-Policy: frame-ancestors 'none'\n"
    "Referrer-Policy: same-origin\n"
    "X-Content-Type-Options: nosniff\n";

void quibPrintHttpHeader() {
  printCookies();
  if (!quibContentLanguage.empty()) {
    quibOut("Content-Language: ");
    quibOut(quibContentLanguage);
    quibOut("\n");
  }
  quibOut(kProtectiveHeaders);
  quibOut("Content-type: text/html; charset=utf-8\n\n");
  quibEndHeader();
}

void quibSetContentLanguage(std::string_view tag) {
  quibContentLanguage = tag;
}

void quibForward(std::string_view location) {
  printCookies();
  quibOut("Location: ");
  quibOut(location);
  quibOut("\n\n");
  quibEndHeader();
}

void quibSetCookie(std::string_view cookie) {
  queueLine(formatText("Set-Cookie: %s\n", std::string(cookie).c_str()));
}

std::string quibPersistentCookieLine(std::string_view cookie, int64_t expiry) {
  const std::string text(cookie);
  const int64_t first = std::max<int64_t>(kFirstExpiry, std::numeric_limits<std::time_t>::min());
  const int64_t last = std::min<int64_t>(kLastExpiry, std::numeric_limits<std::time_t>::max());
  const std::time_t when = static_cast<std::time_t>(std::clamp(expiry, first, last));
  std::tm utc{};
  if (gmtime_r(&when, &utc) == nullptr) return formatText("Set-Cookie: %s\n", text.c_str());
  return formatText("Set-Cookie: %s; expires=%s, %d-%s-%d %02d:%02d:%02d GMT\n", text.c_str(),
                    quibDayOfWeek[utc.tm_wday], utc.tm_mday, quibMonth[utc.tm_mon],
                    utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

// The expiry is computed in 64 bits: now plus up to 2^31 seconds cannot
// overflow there, whatever the width of time_t.
void quibSetPersistentCookie(std::string_view cookie, int32_t seconds) {
  const int64_t expiry = static_cast<int64_t>(std::time(nullptr)) + seconds;
  queueLine(quibPersistentCookieLine(cookie, expiry));
}

void quibRemoveCookie(std::string_view name) {
  quibSetCookie(
      formatText("%s=0; expires=Thu, 1-Jan-1970 00:00:00 GMT", std::string(name).c_str()));
}

// HTTP_COOKIE is split at ';' (runs count as one, empty pieces are skipped).
// In each piece the name is the first run of characters other than '=' and
// the value the next such run, both trimmed of spaces and tabs; the first
// piece with the wanted name and a value wins.
std::optional<std::string> quibGetCookie(std::string_view name) {
  const char* header = std::getenv("HTTP_COOKIE");
  if (header == nullptr) return std::nullopt;
  std::string_view rest(header);
  while (!rest.empty()) {
    const size_t separator = rest.find(';');
    const std::string_view piece = rest.substr(0, separator);
    rest = separator == std::string_view::npos ? std::string_view() : rest.substr(separator + 1);

    const size_t nameStart = piece.find_first_not_of('=');
    if (nameStart == std::string_view::npos) continue;  // nothing but '=' (or empty)
    const size_t nameEnd = piece.find('=', nameStart);
    if (nameEnd == std::string_view::npos) continue;  // no value
    const size_t valueStart = piece.find_first_not_of('=', nameEnd);
    if (valueStart == std::string_view::npos) continue;  // nothing after the '='
    const size_t valueEnd = piece.find('=', valueStart);

    const std::string_view cookieName = strtrim(piece.substr(nameStart, nameEnd - nameStart));
    if (cookieName != name) continue;
    return std::string(strtrim(piece.substr(valueStart, valueEnd - valueStart)));
  }
  return std::nullopt;
}

std::optional<std::string> quibGetSessionCookie() {
  return quibGetCookie(quibSessionCookieName);
}

const char* quibGetCurrentServerName() {
  const char* name = std::getenv("SERVER_NAME");
  return name != nullptr ? name : quibLocalhost;
}
