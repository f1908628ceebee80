// Request parameters: the raw name=value pairs of the query string or of the
// first line of a POST body, read once and looked up by name.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <forward_list>

#include "quib/quib.h"

namespace {

// The request's pairs, in request order; views into a text of requestTexts.
ParamTable cgi_params;
int32_t cgi_paramNum = 0;

// Every parameter text read by parseParams. The table and every value handed
// out point into these, so they are kept until the process ends (a repeated
// parse adds a text and never invalidates earlier views).
std::forward_list<std::string> requestTexts;

constexpr char kPostMethod[] = "POST";

// The first line of standard input (at most kQuibPostBufferSize - 1 bytes,
// the newline included when it fits), or none when nothing can be read. The
// line is taken as a C string: a zero byte ends it. Nothing else of the body
// is consumed.
std::optional<std::string> readPostLine() {
  std::string line(kQuibPostBufferSize, '\0');
  if (std::fgets(line.data(), kQuibPostBufferSize, stdin) == nullptr) return std::nullopt;
  line.resize(std::strlen(line.c_str()));
  line.shrink_to_fit();
  return line;
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
    text = readPostLine();
  } else if (const char* query = std::getenv("QUERY_STRING"); query != nullptr) {
    // A copy, so that a later change of the environment cannot pull the
    // text out from under the table.
    text = query;
  }
  if (!text) {
    cgi_paramNum = 0;
    return cgi_paramNum;
  }
  requestTexts.push_front(std::move(*text));
  cgi_paramNum = parseParamPairs(std::string_view(requestTexts.front()), cgi_params);
  return cgi_paramNum;
}

int parseParamPairs(std::optional<std::string_view> text, ParamTable& table) {
  if (!text) return 0;
  int count = 0;
  std::string_view rest = *text;
  while (!rest.empty() && count < kQuibMaxParams) {
    const size_t separator = rest.find('&');
    const std::string_view pair = rest.substr(0, separator);
    if (!pair.empty()) table[count++] = pair;
    if (separator == std::string_view::npos) break;
    rest.remove_prefix(separator + 1);
  }
  return count;
}

int getParamValues(int count, const ParamTable* table, std::string_view name, ParamValue* out,
                   bool single) {
  if (table == nullptr) return 0;
  if (count > kQuibMaxParams) count = kQuibMaxParams;
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
  return getParamValues(cgi_paramNum, &cgi_params, name, out.data(), false);
}

int isParam(std::string_view name) {
  return getParamValues(cgi_paramNum, &cgi_params, name, nullptr, false);
}
