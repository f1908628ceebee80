// Problems of the JSON interface: each with its status, its stable type and
// its title from the catalogue.
#include "views/json/problem.h"

#include <cstdlib>
#include <string>

#include "quib/json.h"
#include "quib/response.h"
#include "texts/catalogue.h"

namespace {

struct ProblemKind {
  std::string_view status;
  std::string_view type;
  Text title;
};

// In the order of Problem.
constexpr ProblemKind kProblems[] = {
    {"400 Bad Request", "bad-json", Text::kProblemBadJson},
    {"400 Bad Request", "unknown-field", Text::kProblemUnknownField},
    {"400 Bad Request", "bad-value", Text::kProblemBadValue},
    {"401 Unauthorized", "unauthorized", Text::kProblemUnauthorized},
    {"403 Forbidden", "forbidden", Text::kProblemForbidden},
    {"404 Not Found", "not-found", Text::kProblemNotFound},
    {"405 Method Not Allowed", "method-not-allowed", Text::kProblemMethodNotAllowed},
    {"409 Conflict", "database-busy", Text::kProblemDatabaseBusy},
    {"500 Internal Server Error", "database-error", Text::kProblemDatabaseError},
    {"412 Precondition Failed", "version-mismatch", Text::kProblemVersionMismatch},
    {"413 Payload Too Large", "payload-too-large", Text::kProblemPayloadTooLarge},
    {"415 Unsupported Media Type", "unsupported-media-type", Text::kProblemUnsupportedMediaType},
    {"428 Precondition Required", "version-required", Text::kProblemVersionRequired},
    {"429 Too Many Requests", "too-many-attempts", Text::kProblemTooManyAttempts},
};
static_assert(sizeof kProblems / sizeof kProblems[0] ==
              static_cast<size_t>(Problem::kTooManyAttempts) + 1);

// Lines that every answer of the interface carries: never cached, never
// sniffed as another type.
constexpr std::string_view kApiHeaders =
    "Cache-Control: no-store\n"
    "X-Content-Type-Options: nosniff\n";

}  // namespace

std::string_view problemStatus(Problem problem) {
  return kProblems[static_cast<size_t>(problem)].status;
}

void writeJsonAnswer(std::string_view status, std::string_view headers, std::string_view body) {
  quibOut("Status: ");
  quibOut(status);
  quibOut("\n");
  quibOut(kApiHeaders);
  quibOut(headers);
  quibOut("\n");
  quibEndHeader();
  quibOut(body);
}

void writeProblem(Problem problem, const ProblemDetails& details) {
  const ProblemKind& kind = kProblems[static_cast<size_t>(problem)];
  std::string body;
  JsonWriter json(body);
  json.beginObject();
  json.key("type");
  json.string(std::string("urn:skedra:problem:").append(kind.type));
  json.key("title");
  json.string(textOf(kind.title));
  json.key("status");
  json.number(std::atoi(std::string(kind.status.substr(0, 3)).c_str()));
  json.key("detail");
  json.string(details.detail);
  if (details.field) {
    json.key("field");
    json.string(*details.field);
  }
  if (details.offset) {
    json.key("offset");
    json.number(static_cast<int64_t>(*details.offset));
    json.key("line");
    json.number(static_cast<int64_t>(details.line.value_or(0)));
    json.key("column");
    json.number(static_cast<int64_t>(details.column.value_or(0)));
  }
  if (!details.ids.empty()) {
    json.key("ids");
    json.beginArray();
    for (int32_t id : details.ids) json.number(id);
    json.endArray();
  }
  json.endObject();
  std::string headers = "Content-Type: application/problem+json\n";
  if (details.allow) headers.append("Allow: ").append(*details.allow).append(1, '\n');
  if (details.retryAfter) {
    headers.append("Retry-After: ").append(std::to_string(*details.retryAfter)).append(1, '\n');
  }
  if (problem == Problem::kUnauthorized) headers += "WWW-Authenticate: Bearer realm=\"skedra\"\n";
  writeJsonAnswer(kind.status, headers, body);
}
