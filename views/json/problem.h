// Errors of the JSON interface as application/problem+json (RFC 9457).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The problems, each with its HTTP status and stable type name.
enum class Problem {
  kBadJson,
  kUnknownField,
  kBadValue,
  kUnauthorized,
  kForbidden,
  kNotFound,
  kMethodNotAllowed,
  kDatabaseBusy,
  kDatabaseError,
  kVersionMismatch,
  kPayloadTooLarge,
  kUnsupportedMediaType,
  kVersionRequired,
  kTooManyAttempts,
};

// What an answer adds to a problem.
struct ProblemDetails {
  ProblemDetails() = default;
  ProblemDetails(std::string text) : detail(std::move(text)) {}  // NOLINT: a detail alone
  std::string detail;
  std::optional<std::string> field;            // unknown-field, bad-value
  std::optional<size_t> offset, line, column;  // bad-json
  std::vector<int32_t> ids;                    // not-found of a batch
  std::optional<std::string> allow;            // method-not-allowed: the Allow header
  std::optional<int32_t> retryAfter;           // seconds: database-busy, too-many-attempts
};

// Writes the whole response of a problem into the response buffer (header
// with its Status line, then the body); the caller sends it.
void writeProblem(Problem problem, const ProblemDetails& details = {});
// The status line text of a problem ("404 Not Found").
std::string_view problemStatus(Problem problem);

// Writes a JSON answer: the Status line, the extra header lines (each ending
// in "\n"), then body.
void writeJsonAnswer(std::string_view status, std::string_view headers, std::string_view body);
