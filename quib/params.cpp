// Request parameters: the raw name=value pairs of the query string or of a
// POST body, read once and looked up by name.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <forward_list>

#include "quib/params.h"
#include "quib/response.h"

namespace {

// The request's pairs, in request order; views into a text of requestTexts.
ParamTable cgi_params;
int32_t cgi_paramNum = 0;
// The request had more pairs than the table holds.
bool cgi_paramsDropped = false;

// Every parameter text read by parseParams. The table and every value handed
// out point into these, so they are kept until the process ends (a repeated
// parse adds a text and never invalidates earlier views).
std::forward_list<std::string> requestTexts;

constexpr char kPostMethod[] = "POST";

// A POST body is read up to CONTENT_LENGTH bytes and never more than this;
// a longer announced body is refused with an error page.
constexpr size_t kMaxBodyBytes = 65536;
// A body that has not fully arrived after this long is given up.
constexpr int kBodyTimeoutMs = 10000;

constexpr const char* kBodyTooLargePage =
    "<html><head><title>ERROR</title></head><body><h3>Request body too large</h3></body>"
    "</html>\n";

// The announced body length: none when CONTENT_LENGTH is missing or is not a
// plain decimal number. Numbers past the limit read as the limit plus one.
std::optional<size_t> announcedLength() {
  const char* text = std::getenv("CONTENT_LENGTH");
  if (text == nullptr || *text == '\0') return std::nullopt;
  size_t length = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    if (length <= kMaxBodyBytes) length = length * 10 + static_cast<size_t>(*c - '0');
  }
  return length;
}

// Reads exactly length bytes from standard input, waiting at most
// kBodyTimeoutMs in all. None when the input ends early, fails or is too slow.
std::optional<std::string> readBody(size_t length) {
  std::string body(length, '\0');
  const int fd = fileno(stdin);
  size_t done = 0;
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  while (done < length) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long elapsed =
        (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (elapsed >= kBodyTimeoutMs) return std::nullopt;
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(kBodyTimeoutMs - elapsed));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return std::nullopt;
    const ssize_t got = read(fd, body.data() + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    done += static_cast<size_t>(got);
  }
  return body;
}

// The parameter text of a POST request: the body as CONTENT_LENGTH announces
// it, without the line end a client may put after the last value. None when
// the length is missing or invalid or the body arrives short: such a request
// has no parameters and carries out nothing. A longer body than the limit
// ends the process with an error page and exit status 1.
std::optional<std::string> readPostBody() {
  std::optional<size_t> length = announcedLength();
  if (!length) return std::nullopt;
  if (*length > kMaxBodyBytes) {
    quibSendFailure(kBodyTooLargePage, kQuibStatusTooLarge);
    std::exit(1);
  }
  std::optional<std::string> body = readBody(*length);
  if (!body) return std::nullopt;
  while (!body->empty() && (body->back() == '\n' || body->back() == '\r')) body->pop_back();
  return body;
}

// The name of a pair: the part before its first '=', or the whole pair.
std::string_view pairName(std::string_view pair) {
  return pair.substr(0, pair.find('='));
}

// The value of a pair: the part after its first '=', none for a bare pair.
ParamValue pairValue(std::string_view pair) {
  const size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return pair.substr(equals + 1);
}

}  // namespace

int parseParams() {
  std::optional<std::string> text;
  const char* method = std::getenv("REQUEST_METHOD");
  if (method != nullptr && std::strcmp(method, kPostMethod) == 0) {
    text = readPostBody();
  } else if (const char* query = std::getenv("QUERY_STRING"); query != nullptr) {
    // A copy, so that a later change of the environment cannot pull the
    // text out from under the table.
    text = query;
  }
  cgi_paramsDropped = false;
  if (!text) {
    cgi_params.clear();
    cgi_paramNum = 0;
    return cgi_paramNum;
  }
  requestTexts.push_front(std::move(*text));
  cgi_paramNum =
      parseParamPairs(std::string_view(requestTexts.front()), cgi_params, &cgi_paramsDropped);
  return cgi_paramNum;
}

int parseParamPairs(std::optional<std::string_view> text, ParamTable& table, bool* more) {
  table.clear();
  if (more != nullptr) *more = false;
  if (!text) return 0;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const size_t separator = rest.find('&');
    const std::string_view pair = rest.substr(0, separator);
    if (!pair.empty()) {
      if (table.size() == static_cast<size_t>(kQuibMaxParams)) {
        if (more != nullptr) *more = true;
        break;
      }
      table.push_back(pair);
    }
    if (separator == std::string_view::npos) break;
    rest.remove_prefix(separator + 1);
  }
  return static_cast<int>(table.size());
}

int getParamValues(int count, const ParamTable* table, std::string_view name, ParamValue* out,
                   bool single) {
  if (table == nullptr) return 0;
  if (count > static_cast<int>(table->size())) count = static_cast<int>(table->size());
  int matches = 0;
  for (int i = 0; i < count; ++i) {
    const std::string_view pair = (*table)[i];
    if (pairName(pair) != name) continue;
    if (out == nullptr) return 1;
    out[matches++] = pairValue(pair);
    if (single) return 1;
  }
  return matches;
}

ParamValue getParamValue(int count, const ParamTable& table, std::string_view name) {
  ParamValue value;
  if (getParamValues(count, &table, name, &value, true) == 0) return std::nullopt;
  return value;
}

ParamValue getParam(std::string_view name) {
  return getParamValue(cgi_paramNum, cgi_params, name);
}

int getParamVals(std::string_view name, ParamValues& out) {
  out.resize(static_cast<size_t>(cgi_paramNum));
  const int count = getParamValues(cgi_paramNum, &cgi_params, name, out.data(), false);
  out.resize(static_cast<size_t>(count));
  return count;
}

bool quibTooManyParams() {
  return cgi_paramsDropped;
}

int isParam(std::string_view name) {
  return getParamValues(cgi_paramNum, &cgi_params, name, nullptr, false);
}
