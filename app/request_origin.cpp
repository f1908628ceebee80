// Where a request comes from: browsers name the site that started it in the
// request headers Sec-Fetch-Site, Origin and Referer, which the web server
// hands to the program as HTTP_SEC_FETCH_SITE, HTTP_ORIGIN and HTTP_REFERER,
// next to HTTP_HOST, the address the browser asked for.
#include <cstdlib>
#include <optional>
#include <string_view>
#include "app/gate.h"

#include "quib/quib.h"

namespace {

// Host and port of an address. The host keeps its brackets when it is an
// IPv6 literal; the port is none when the address does not give one.
struct Authority {
  std::string_view host;
  std::optional<int> port;
};

// A request header without the white space around it; none when absent or
// empty.
std::optional<std::string_view> header(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr) return std::nullopt;
  std::string_view text(value);
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return std::nullopt;
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Host names and schemes compare without regard to case.
bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "host", "host:port", "[v6]" or "[v6]:port" (an empty port is none); none
// when the text is no such address.
std::optional<Authority> parseAuthority(std::string_view text) {
  Authority authority;
  size_t hostEnd;
  if (!text.empty() && text.front() == '[') {
    hostEnd = text.find(']');
    if (hostEnd == std::string_view::npos) return std::nullopt;
    ++hostEnd;
  } else {
    hostEnd = text.find(':');
    if (hostEnd == std::string_view::npos) hostEnd = text.size();
  }
  authority.host = text.substr(0, hostEnd);
  if (authority.host.empty()) return std::nullopt;
  std::string_view rest = text.substr(hostEnd);
  if (rest.empty()) return authority;
  if (rest.front() != ':') return std::nullopt;
  rest.remove_prefix(1);
  if (rest.empty()) return authority;
  if (rest.size() > 5) return std::nullopt;
  int port = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port > 65535) return std::nullopt;
  authority.port = port;
  return authority;
}

// The port a browser uses for scheme when the address gives none.
std::optional<int> defaultPort(std::string_view scheme) {
  if (equalNoCase(scheme, "http")) return 80;
  if (equalNoCase(scheme, "https")) return 443;
  return std::nullopt;
}

// True when url ("scheme://[user@]host[:port][/...]", as Origin and Referer
// give it) names the same host and port as the address the browser asked
// for; an address without a port stands for the default port of url's
// scheme. Anything that is not such a URL names another site.
bool sameHost(std::string_view url, std::optional<std::string_view> requestHost) {
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == 0 || schemeEnd == std::string_view::npos || !requestHost) return false;
  const std::string_view scheme = url.substr(0, schemeEnd);
  std::string_view authorityText = url.substr(schemeEnd + 3);
  authorityText = authorityText.substr(0, authorityText.find_first_of("/?#"));
  const size_t userEnd = authorityText.rfind('@');
  if (userEnd != std::string_view::npos) authorityText.remove_prefix(userEnd + 1);

  const std::optional<Authority> from = parseAuthority(authorityText);
  const std::optional<Authority> asked = parseAuthority(*requestHost);
  if (!from || !asked) return false;
  const std::optional<int> port = defaultPort(scheme);
  return equalNoCase(from->host, asked->host) &&
         from->port.value_or(port.value_or(-1)) == asked->port.value_or(port.value_or(-1));
}

}  // namespace

bool crossSiteRequest() {
  // Only the interface's own pages may act: "same-origin", or "none" for an
  // address the user typed or chose from a bookmark. A page on another port
  // or a sibling host of the same site says "same-site".
  if (std::optional<std::string_view> site = header("HTTP_SEC_FETCH_SITE")) {
    if (!equalNoCase(*site, "same-origin") && !equalNoCase(*site, "none")) return true;
  }
  const std::optional<std::string_view> host = header("HTTP_HOST");
  // The interface's pages send their own origin with their forms; "null" is
  // that of a page that hides where it is (one that sends no referrer, a
  // sandboxed frame, a data: address).
  if (std::optional<std::string_view> origin = header("HTTP_ORIGIN")) {
    if (!sameHost(*origin, host)) return true;
  }
  if (std::optional<std::string_view> referer = header("HTTP_REFERER")) {
    if (!sameHost(*referer, host)) return true;
  }
  return false;
}

bool actingMethod() {
  // A run without a method is a GET, as the parameters are read.
  const std::optional<std::string_view> method = header("REQUEST_METHOD");
  return !method || *method == "GET" || *method == "POST";
}
