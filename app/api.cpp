// The JSON interface's entry: the path, the method, the credentials and the
// body read once where they arrive, then one resource of the route table.
#include "app/api.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/api_call.h"
#include "app/gate.h"
#include "quib/account_db.h"
#include "quib/api_tokens.h"
#include "quib/quib.h"
#include "store/timer_db.h"
#include "texts/catalogue.h"

namespace {

constexpr std::string_view kApiPrefix = "/api/v1";
// The largest body a write may send; a longer one is refused unread.
constexpr size_t kMaxBodyBytes = 65536;
// Seconds after which a client may try again when the firmware held the
// timer database past the wait.
constexpr int32_t kBusyRetrySeconds = 2;
// The cookie that carries a token where a server passes no other header.
constexpr std::string_view kTokenCookie = "skedraapikey";

using Handler = void (*)(ApiCall&);

// One resource: its path below the prefix ("{id}" stands for a timer id),
// what each method runs, and whether it answers without credentials.
struct Route {
  std::string_view path;
  Handler get, post, put, del;
  bool open = false;
};

// Every write also has a POST of its own, for servers that run a program
// only for GET and POST: a timer's update and delete, the defaults' write.
constexpr Route kRoutes[] = {
    {"/timers", listTimers, createTimer, nullptr, nullptr},
    {"/timers/enable", nullptr, enableTimerBatch, nullptr, nullptr},
    {"/timers/disable", nullptr, disableTimerBatch, nullptr, nullptr},
    {"/timers/clone", nullptr, cloneTimerBatch, nullptr, nullptr},
    {"/timers/delete", nullptr, deleteTimerBatch, nullptr, nullptr},
    {"/timers/{id}", readTimer, updateTimerResource, updateTimerResource, deleteTimerResource},
    {"/timers/{id}/enable", nullptr, enableTimerResource, nullptr, nullptr},
    {"/timers/{id}/disable", nullptr, disableTimerResource, nullptr, nullptr},
    {"/timers/{id}/clone", nullptr, cloneTimerResource, nullptr, nullptr},
    {"/timers/{id}/delete", nullptr, deleteTimerResource, nullptr, nullptr},
    {"/channels", listChannels, nullptr, nullptr, nullptr},
    {"/overlaps", listOverlaps, nullptr, nullptr, nullptr},
    {"/defaults", readDefaults, writeDefaults, writeDefaults, nullptr},
    {"/openapi.json", serveOpenApi, nullptr, nullptr, nullptr, true},
    {"/recordings.ics", serveFeed, nullptr, nullptr, nullptr, true},
};

std::string_view environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A timer id as a path names it: 1 to 2147483647 in plain digits.
bool readId(std::string_view text, int32_t& id) {
  if (text.empty() || text.size() > 10 || text[0] == '0') return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > INT32_MAX) return false;
  id = static_cast<int32_t>(value);
  return true;
}

// The route of path, filling the id of its "{id}"; null for none.
const Route* findRoute(std::string_view path, int32_t& id) {
  for (const Route& route : kRoutes) {
    const size_t mark = route.path.find("{id}");
    if (mark == std::string_view::npos) {
      if (path == route.path) return &route;
      continue;
    }
    const std::string_view head = route.path.substr(0, mark);
    const std::string_view tail = route.path.substr(mark + 4);
    if (path.size() <= head.size() + tail.size() || path.substr(0, head.size()) != head ||
        path.substr(path.size() - tail.size()) != tail) {
      continue;
    }
    if (readId(path.substr(head.size(), path.size() - head.size() - tail.size()), id)) {
      return &route;
    }
  }
  return nullptr;
}

// The methods a route takes, for Allow.
std::string allowed(const Route& route) {
  std::string allow;
  const auto add = [&allow](Handler handler, const char* name) {
    if (handler == nullptr) return;
    if (!allow.empty()) allow += ", ";
    allow += name;
  };
  add(route.get, "GET");
  add(route.post, "POST");
  add(route.put, "PUT");
  add(route.del, "DELETE");
  return allow;
}

Handler handlerOf(const Route& route, std::string_view method) {
  if (method == "GET") return route.get;
  if (method == "POST") return route.post;
  if (method == "PUT") return route.put;
  if (method == "DELETE") return route.del;
  return nullptr;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The token the request sends: Authorization's Bearer, else X-Api-Key, else
// the cookie; none when it sends none.
std::optional<std::string> sentToken(bool& inCookie) {
  const std::string_view authorization = environment("HTTP_AUTHORIZATION");
  if (authorization.size() > 7 && equalsIgnoringCase(authorization.substr(0, 7), "Bearer ")) {
    return std::string(authorization.substr(7));
  }
  if (const std::string_view key = environment("HTTP_X_API_KEY"); !key.empty()) {
    return std::string(key);
  }
  inCookie = true;
  return quibGetCookie(kTokenCookie);
}

// How the request signed in.
enum class Credentials {
  kNone,    // an open resource
  kHeader,  // a token in a header, which no other site can make a browser send
  kCookie,  // a cookie, which a browser sends whoever made the request
};

// Whether the request may read, and may write: a token by its scope; a
// signed-in browser reads. Credentials that a browser sends by itself (a
// cookie) write only from the interface's own site. Anything else ends the
// request.
Credentials checkCredentials(bool writing) {
  bool inCookie = false;
  if (const std::optional<std::string> token = sentToken(inCookie)) {
    ApiTokenUse use;
    switch (quibCheckApiToken(*token, &use)) {
      case ApiTokenCheck::kValid:
        if (writing && use.scope != ApiScope::kWrite) {
          failCall(Problem::kForbidden, {std::string(textOf(Text::kApiReadOnly))});
        }
        if (writing && inCookie && crossSiteRequest()) {
          failCall(Problem::kForbidden, {std::string(textOf(Text::kApiCrossSite))});
        }
        return inCookie ? Credentials::kCookie : Credentials::kHeader;
      case ApiTokenCheck::kLocked: {
        ProblemDetails details{std::string(textOf(Text::kApiTooManyAttempts))};
        details.retryAfter = quibApiTokenRetryAfter();
        failCall(Problem::kTooManyAttempts, details);
      }
      case ApiTokenCheck::kInvalid:
        break;
    }
    failCall(Problem::kUnauthorized, {std::string(textOf(Text::kApiBadToken))});
  }
  if (const std::optional<std::string> user = quibGetAuthUser()) {
    // The initial password is known to everybody: its session gets only the
    // page that replaces it, here as on the pages.
    if (quibUsesInitialPassword(*user) != 0) {
      failCall(Problem::kForbidden, {std::string(textOf(Text::kApiInitialPassword))});
    }
    // A read writes nothing: not even the session's access time.
    if (const std::optional<std::string> session = quibRequestSession()) {
      quibdb::dropPendingTouch(*session);
    }
    if (writing && crossSiteRequest()) {
      failCall(Problem::kForbidden, {std::string(textOf(Text::kApiCrossSite))});
    }
    return Credentials::kCookie;
  }
  failCall(Problem::kUnauthorized, {std::string(textOf(Text::kApiNoCredentials))});
}

// The media type of the body, without its parameters, is application/json.
bool jsonContent() {
  std::string_view type = environment("CONTENT_TYPE");
  type = type.substr(0, type.find(';'));
  while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
  return equalsIgnoringCase(type, "application/json");
}

std::string_view faultText(JsonFault fault) {
  switch (fault) {
    case JsonFault::kUnexpectedEnd:
      return textOf(Text::kJsonUnexpectedEnd);
    case JsonFault::kBadNumber:
      return textOf(Text::kJsonBadNumber);
    case JsonFault::kBadEscape:
      return textOf(Text::kJsonBadEscape);
    case JsonFault::kControlCharacter:
      return textOf(Text::kJsonControlCharacter);
    case JsonFault::kBadUtf8:
      return textOf(Text::kJsonBadUtf8);
    case JsonFault::kDuplicateName:
      return textOf(Text::kJsonDuplicateName);
    case JsonFault::kTooDeep:
      return textOf(Text::kJsonTooDeep);
    case JsonFault::kTrailingText:
      return textOf(Text::kJsonTrailingText);
    default:
      return textOf(Text::kJsonUnexpectedCharacter);
  }
}

// Reads the body of CONTENT_LENGTH bytes (never more) and parses it as one
// JSON object; an empty body is an empty object. A body must say that it is
// JSON; so must an empty one sent with a cookie: no form of another site
// can send that type without the browser asking the interface first, which
// it never allows.
JsonValue readBody(Credentials credentials) {
  // busybox httpd passes a PUT's length only as the request's header.
  std::string_view lengthText = environment("CONTENT_LENGTH");
  if (lengthText.empty()) lengthText = environment("HTTP_CONTENT_LENGTH");
  const bool empty = lengthText.empty() || lengthText == "0";
  if (!jsonContent() && (!empty || credentials == Credentials::kCookie)) {
    failCall(Problem::kUnsupportedMediaType, {std::string(textOf(Text::kApiUnsupportedMediaType))});
  }
  size_t length = 0;
  for (char c : lengthText) {
    if (c < '0' || c > '9' || length > kMaxBodyBytes) {
      length = kMaxBodyBytes + 1;
      break;
    }
    length = length * 10 + static_cast<size_t>(c - '0');
  }
  if (length > kMaxBodyBytes) {
    failCall(Problem::kPayloadTooLarge,
             {textWith(Text::kApiPayloadTooLarge, {std::to_string(kMaxBodyBytes)})});
  }
  std::string text(length, '\0');
  const size_t got = length == 0 ? 0 : std::fread(text.data(), 1, length, stdin);
  text.resize(got);
  JsonValue body;
  body.type = JsonValue::Type::kObject;
  if (got == 0 && length == 0) return body;
  const JsonParse parse = parseJson(text);
  if (!parse.value) {
    ProblemDetails details{textWith(
        Text::kApiBadJson,
        {faultText(parse.fault), std::to_string(parse.line), std::to_string(parse.column)})};
    details.offset = parse.offset;
    details.line = parse.line;
    details.column = parse.column;
    failCall(Problem::kBadJson, details);
  }
  if (parse.value->type != JsonValue::Type::kObject) {
    ProblemDetails details{std::string(textOf(Text::kApiNotObject))};
    details.offset = 0;
    details.line = 1;
    details.column = 1;
    failCall(Problem::kBadJson, details);
  }
  return std::move(*parse.value);
}

// If-Match's version: one entity tag, its quotes (and a weak mark) taken off.
std::optional<std::string> ifMatchVersion() {
  std::string_view tag = environment("HTTP_IF_MATCH");
  if (tag.empty()) return std::nullopt;
  if (tag.substr(0, 2) == "W/") tag.remove_prefix(2);
  if (tag.size() >= 2 && tag.front() == '"' && tag.back() == '"') {
    tag = tag.substr(1, tag.size() - 2);
  }
  return std::string(tag);
}

// A failure of the timer database: busy when the firmware held it past the
// wait (the client tries again), else an error with the database's text.
void answerDatabaseFailure(int code, std::string_view text) {
  quibOutBuffer().clear();
  const int primary = code & 0xff;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
    ProblemDetails details{std::string(textOf(Text::kApiDatabaseBusy))};
    details.retryAfter = kBusyRetrySeconds;
    writeProblem(Problem::kDatabaseBusy, details);
  } else {
    std::string detail(text);
    while (!detail.empty() && detail.back() == '\n') detail.pop_back();
    writeProblem(Problem::kDatabaseError, {detail});
  }
}

// The feed token, from the query string's "feed".
std::string_view feedToken() {
  std::string_view query = environment("QUERY_STRING");
  while (!query.empty()) {
    const size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    if (pair.substr(0, 5) == "feed=") return pair.substr(5);
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return {};
}

}  // namespace

bool apiRequested() {
  const std::string_view path = environment("PATH_INFO");
  return path.substr(0, kApiPrefix.size()) == kApiPrefix &&
         (path.size() == kApiPrefix.size() || path[kApiPrefix.size()] == '/');
}

void failCall(Problem problem, ProblemDetails details) {
  throw ApiProblem{problem, std::move(details)};
}

std::string apiHost() {
  std::string_view host = environment("HTTP_HOST");
  if (host.empty()) host = environment("SERVER_NAME");
  // A port follows the last colon, unless that colon is inside an IPv6
  // literal's brackets.
  const size_t colon = host.rfind(':');
  if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) {
    host = host.substr(0, colon);
  }
  return std::string(host.empty() ? std::string_view("recorder") : host);
}

std::string apiBase() {
  return std::string(environment("SCRIPT_NAME")).append(kApiPrefix);
}

void answerJson(std::string_view status, std::string_view body, std::string_view headers) {
  std::string lines(headers);
  lines += "Content-Type: application/json\n";
  writeJsonAnswer(status, lines, body);
}

namespace {

// Reads the request, checks its credentials and body, and runs its resource.
// A problem found on the way ends it with the problem's answer instead.
void answerCall() {
  const std::string_view path = environment("PATH_INFO").substr(kApiPrefix.size());
  ApiCall call;
  call.method = environment("REQUEST_METHOD");
  if (call.method.empty()) call.method = "GET";
  const Route* route = findRoute(path, call.id);
  if (route == nullptr) failCall(Problem::kNotFound, {std::string(textOf(Text::kApiNoResource))});
  const Handler handler = handlerOf(*route, call.method);
  if (handler == nullptr) {
    ProblemDetails details{textWith(Text::kApiMethodNotAllowed, {allowed(*route)})};
    details.allow = allowed(*route);
    failCall(Problem::kMethodNotAllowed, details);
  }
  const bool writing = call.method != "GET";
  const Credentials credentials = route->open ? Credentials::kNone : checkCredentials(writing);
  if (writing) call.body = readBody(credentials);
  call.ifMatch = ifMatchVersion();
  call.feed = feedToken();
  handler(call);
}

}  // namespace

int runApi(const char* timerDbPath) {
  answerFailuresWith(answerDatabaseFailure);
  exitIfError(openWebSchedDb(timerDbPath), FailureSite::kOpenTimerDb);
  try {
    answerCall();
  } catch (const ApiProblem& problem) {
    // The transaction a write began was rolled back on the way here: nothing
    // is written on an error.
    quibOutBuffer().clear();
    writeProblem(problem.problem, problem.details);
  }
  quibSendResponse();
  sqlite3_close(web_sched_db);
  web_sched_db = nullptr;
  quibClose();
  return 0;
}
