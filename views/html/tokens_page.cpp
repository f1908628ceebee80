// The tokens page. Every value that reaches it from the account database or
// the request (names, the session id, the new token) is escaped here.
#include "views/html/tokens_page.h"

#include <string>
#include <string_view>
#include <utility>

#include "platform/local_time.h"
#include "quib/quib.h"
#include "texts/catalogue.h"
#include "views/html/language_form.h"
#include "views/html/timer_texts.h"

namespace {

constexpr const char* kTokensTemplate = "tokens.shtml";
constexpr const char* kSelfUrl = "skedra.cgi";

// "Tue 9/12/2025 20:15", with the year: a token may be years old.
std::string whenText(int64_t instant) {
  return momentLabel(instant, ZoneOffsets{}, true);
}

std::string lastUsedText(const ApiTokenInfo& token) {
  return token.lastUsed ? whenText(*token.lastUsed) : std::string(textOf(Text::kNotUsedSinceStart));
}

// The hidden inputs that every form of the page carries.
std::string formInputs(const std::string& id, const std::string& formToken) {
  return "<input type=\"hidden\" name=\"quibsession\" value=\"" + id +
         "\">\n<input type=\"hidden\" name=\"formtoken\" value=\"" + formToken + "\">\n";
}

// A form of its own that revokes the token: one per row.
std::string revokeForm(const ApiTokenInfo& token, const std::string& selfUrl,
                       const std::string& hidden) {
  const std::string name = quibHtmlEscape(token.name);
  std::string form = "<form class=\"inline\" method=\"post\" action=\"" + selfUrl +
                     "\" accept-charset=\"utf-8\">\n" + hidden +
                     "<input type=\"hidden\" name=\"tokenid\" value=\"" + std::to_string(token.id) +
                     "\">\n<button type=\"submit\" class=\"btn btn-danger\" name=\"revoketoken\" "
                     "value=\"1\" aria-label=\"";
  form += token.scope == ApiScope::kFeed ? std::string(textOf(Text::kRevokeFeed))
                                         : textWith(Text::kRevokeToken, {name});
  form += "\">";
  form += textOf(Text::kRevoke);
  form += "</button>\n</form>";
  return form;
}

// One table row per token of the interface, oldest first.
std::string tokenRows(const TokensPage& page, const std::string& selfUrl,
                      const std::string& hidden) {
  std::string rows;
  for (const ApiTokenInfo& token : page.tokens) {
    if (token.scope == ApiScope::kFeed) continue;
    rows += "<tr>\n<th scope=\"row\">";
    rows += quibHtmlEscape(token.name);
    rows += "</th>\n<td>";
    rows += textOf(token.scope == ApiScope::kWrite ? Text::kScopeWrite : Text::kScopeRead);
    rows += "</td>\n<td>";
    rows += whenText(token.created);
    rows += "</td>\n<td>";
    rows += lastUsedText(token);
    rows += "</td>\n<td>";
    rows += revokeForm(token, selfUrl, hidden);
    rows += "</td>\n</tr>\n";
  }
  return rows;
}

// The token made by this request in a read-only input that the user can
// copy, with the warning that it is shown once.
std::string newTokenBox(const TokensPage& page) {
  if (!page.newToken) return "";
  const std::string value =
      quibHtmlEscape(page.newFeed ? page.feedAddress + *page.newToken : *page.newToken);
  std::string box = "<div class=\"field\">\n<label for=\"new-token\">";
  box += textOf(page.newFeed ? Text::kNewFeedLabel : Text::kNewTokenLabel);
  box += "</label>\n<input type=\"text\" id=\"new-token\" value=\"" + value +
         "\" readonly autofocus aria-describedby=\"new-token-hint\">\n<p class=\"hint\" "
         "id=\"new-token-hint\">";
  box += textOf(Text::kCopyItOnce);
  box += "</p>\n</div>\n";
  return box;
}

}  // namespace

void displayTokensPage(const TokensPage& page) {
  const std::string formToken = quibNewFormToken().value_or("");
  quibPrintHttpHeader();
  const std::string id = page.sessionId ? quibHtmlEscape(*page.sessionId) : "";
  std::string selfUrl = kSelfUrl;
  if (page.sessionId) selfUrl += "?quibsession=" + id;
  const std::string hidden = formInputs(id, formToken);

  const ApiTokenInfo* feed = nullptr;
  bool anyToken = false;
  for (const ApiTokenInfo& token : page.tokens) {
    if (token.scope == ApiScope::kFeed) {
      feed = &token;
    } else {
      anyToken = true;
    }
  }
  std::string feedText;
  std::string feedRevoke;
  if (feed) {
    feedText = textWith(Text::kFeedMadeOn, {whenText(feed->created)}) + ' ' +
               textWith(Text::kFeedLastUsed, {lastUsedText(*feed)});
    feedRevoke = revokeForm(*feed, selfUrl, hidden);
  } else {
    feedText = textOf(Text::kNoFeed);
  }
  const std::string rows = tokenRows(page, selfUrl, hidden);
  const std::string noTokens =
      anyToken ? std::string() : "<p>" + std::string(textOf(Text::kNoTokens)) + "</p>";
  const std::string box = newTokenBox(page);

  TemplateContext context;
  context.directives = 1;
  context.texts = textOfName;
  context.processor = nullptr;
  // The Elements borrow their texts: each lives until the page is written.
  ElementList list = strelem("sessionId", id, nullptr);
  list = langElement(std::move(list));
  list = strelem("formtoken", formToken, std::move(list));
  list = strelem("selfUrl", selfUrl, std::move(list));
  list = strelem("pageTitle", textOf(Text::kTokensPageTitle), std::move(list));
  list = strelem("statusMsg", page.status, std::move(list));
  list = strelem("errorMsg", page.error, std::move(list));
  // An error takes the focus (a new token's input takes it after a success).
  list = strelem("errorFocus", page.error.empty() ? "" : " autofocus", std::move(list));
  list = strelem("newToken", box, std::move(list));
  list = strelem("tokenRows", rows, std::move(list));
  list = strelem("noTokens", noTokens, std::move(list));
  list = strelem("tableHidden", anyToken ? "" : " hidden", std::move(list));
  list = strelem("feedText", feedText, std::move(list));
  list = strelem("feedRevoke", feedRevoke, std::move(list));
  list =
      strelem("feedButton", textOf(feed ? Text::kReplaceFeed : Text::kMakeFeed), std::move(list));
  context.elements = std::move(list);
  readTextFile(kTokensTemplate, &context, printSimpleText);
  disposeElems(std::move(context.elements));
}
