// The response header and cookies (cookies.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

extern const char* const quibSessionCookieName;  // "quibsession"

// Writes the queued Set-Cookie lines, then the HTML content type (with the
// page's language, when one is set) and the empty line that ends the header,
// into the response.
void quibPrintHttpHeader();
// The language tag that the page's header names in "Content-Language".
void quibSetContentLanguage(std::string_view tag);
// Writes the queued Set-Cookie lines, then "Location: ..." and the empty line.
void quibForward(std::string_view location);
// Queue a Set-Cookie line; cookie is complete: name=value[; attributes].
void quibSetCookie(std::string_view cookie);
// Queue a cookie that expires the given number of seconds from now (UTC date).
void quibSetPersistentCookie(std::string_view cookie, int32_t seconds);
// The line quibSetPersistentCookie queues, for an expiry given in epoch seconds.
std::string quibPersistentCookieLine(std::string_view cookie, int64_t expiry);
// Queue the line that makes the browser delete the named cookie.
void quibRemoveCookie(std::string_view name);
// The value of the named cookie of the request (HTTP_COOKIE), or none.
std::optional<std::string> quibGetCookie(std::string_view name);
std::optional<std::string> quibGetSessionCookie();
// SERVER_NAME, or "localhost" when it is not set. Borrowed.
const char* quibGetCurrentServerName();
