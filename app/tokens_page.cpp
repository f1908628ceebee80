#include "app/tokens_page.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/form_token.h"
#include "model/title_text.h"
#include "quib/quib.h"
#include "texts/catalogue.h"
#include "views/html/tokens_page.h"

namespace {

// A token's name is at most this many bytes (as decoded from the request).
constexpr size_t kMaxTokenNameBytes = 64;
// The calendar feed below the program's own address.
constexpr std::string_view kFeedPath = "/api/v1/recordings.ics?feed=";
// The program's own path when the web server does not name it.
constexpr std::string_view kDefaultScriptName = "/cgi-bin/skedra.cgi";

std::string_view environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// True for a host (and port) as a URL may carry it: names, IPv4 and
// bracketed IPv6 addresses. Anything else is not put into an address.
bool plainHost(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    if (!plain) return false;
  }
  return true;
}

// The program's own absolute address, as the browser reached it: the
// scheme, HTTP_HOST (else SERVER_NAME and SERVER_PORT) and SCRIPT_NAME.
std::string selfAddress() {
  std::string host(environment("HTTP_HOST"));
  if (!plainHost(host)) {
    host = environment("SERVER_NAME");
    const std::string_view port = environment("SERVER_PORT");
    if (!port.empty() && port != "80") host.append(":").append(port);
    if (!plainHost(host)) host = "127.0.0.1";
  }
  std::string_view script = environment("SCRIPT_NAME");
  if (script.empty() || script.front() != '/') script = kDefaultScriptName;
  const bool secure = environment("HTTPS") == "on";
  return std::string(secure ? "https://" : "http://") + host + std::string(script);
}

// A request value URL-decoded; "" when the request did not send it.
std::string decodedParam(std::string_view name) {
  const ParamValue value = getParam(name);
  return value ? quibUrlDecode(*value) : std::string();
}

TokenOutcome failed(Text reason) {
  TokenOutcome outcome;
  outcome.notice = textOf(reason);
  outcome.failed = true;
  return outcome;
}

TokenOutcome makeToken(const std::string& user) {
  const std::string name = decodedParam("tokenname");
  const ParamValue scopeValue = getParam("tokenscope");
  if (name.empty()) return failed(Text::kTokenNameMissing);
  if (name.size() > kMaxTokenNameBytes) return failed(Text::kTokenNameTooLong);
  if (!isUtf8(name)) return failed(Text::kTokenNameNotUtf8);
  ApiScope scope = ApiScope::kRead;
  if (scopeValue == "write") {
    scope = ApiScope::kWrite;
  } else if (scopeValue != "read") {
    return failed(Text::kTokenScopeUnknown);
  }
  if (!claimFormToken()) return failed(Text::kFormAlreadySent);
  TokenOutcome outcome;
  outcome.newToken = quibCreateApiToken(user, name, scope);
  commitFormToken();
  outcome.notice = textWith(Text::kTokenCreated, {quibHtmlEscape(name)});
  return outcome;
}

TokenOutcome revokeToken(const std::string& user) {
  const int64_t id = quibAtoi(getParam("tokenid"));
  const std::vector<ApiTokenInfo> tokens = quibListApiTokens(user);
  const ApiTokenInfo* token = nullptr;
  for (const ApiTokenInfo& candidate : tokens) {
    if (candidate.id == id) token = &candidate;
  }
  if (!token) return failed(Text::kTokenGone);
  if (!claimFormToken()) return failed(Text::kFormAlreadySent);
  if (!quibRevokeApiToken(user, id)) {
    releaseFormToken();
    return failed(Text::kTokenGone);
  }
  commitFormToken();
  TokenOutcome outcome;
  outcome.notice = token->scope == ApiScope::kFeed
                       ? std::string(textOf(Text::kFeedRevoked))
                       : textWith(Text::kTokenRevoked, {quibHtmlEscape(token->name)});
  return outcome;
}

TokenOutcome rotateFeed(const std::string& user) {
  if (!claimFormToken()) return failed(Text::kFormAlreadySent);
  TokenOutcome outcome;
  outcome.newToken = quibRotateFeedToken(user);
  outcome.newFeed = true;
  commitFormToken();
  outcome.notice = textOf(Text::kFeedMade);
  return outcome;
}

}  // namespace

TokenOutcome runTokenAction(Action action, const std::string& user) {
  switch (action) {
    case Action::kNewToken:
      return makeToken(user);
    case Action::kRevokeToken:
      return revokeToken(user);
    case Action::kRotateFeed:
      return rotateFeed(user);
    default:
      return TokenOutcome{};
  }
}

void showTokensPage(const std::string& user, const std::optional<std::string>& sessionId,
                    const TokenOutcome& outcome) {
  TokensPage page;
  page.tokens = quibListApiTokens(user);
  page.sessionId = sessionId;
  page.feedAddress = selfAddress() + std::string(kFeedPath);
  (outcome.failed ? page.error : page.status) = outcome.notice;
  page.newToken = outcome.newToken;
  page.newFeed = outcome.newFeed;
  displayTokensPage(page);
}
