// The members of a JSON body, each checked once where a resource reads it.
#include <algorithm>
#include <string>
#include <utility>

#include "app/api_call.h"
#include "texts/catalogue.h"

void badValue(std::string_view name, std::string detail) {
  ProblemDetails details{std::move(detail)};
  details.field = std::string(name);
  failCall(Problem::kBadValue, details);
}

void checkFields(const JsonValue& body, const std::vector<std::string_view>& taken,
                 const std::vector<std::string_view>& ignored) {
  for (const auto& [name, value] : body.members) {
    if (std::find(taken.begin(), taken.end(), name) != taken.end()) continue;
    if (std::find(ignored.begin(), ignored.end(), name) != ignored.end()) continue;
    ProblemDetails details{textWith(Text::kApiUnknownField, {name})};
    details.field = name;
    failCall(Problem::kUnknownField, details);
  }
}

std::optional<int32_t> integerField(const JsonValue& body, std::string_view name, int64_t low,
                                    int64_t high) {
  const JsonValue* value = body.find(name);
  if (value == nullptr) return std::nullopt;
  const std::optional<int64_t> number = value->integer();
  if (!number || *number < low || *number > high) {
    badValue(name,
             textWith(Text::kApiNotInteger, {name, std::to_string(low), std::to_string(high)}));
  }
  return static_cast<int32_t>(*number);
}

std::optional<std::string> stringField(const JsonValue& body, std::string_view name) {
  const JsonValue* value = body.find(name);
  if (value == nullptr) return std::nullopt;
  if (value->type != JsonValue::Type::kString) {
    badValue(name, textWith(Text::kApiNotString, {name}));
  }
  return value->text;
}

std::optional<bool> booleanField(const JsonValue& body, std::string_view name) {
  const JsonValue* value = body.find(name);
  if (value == nullptr) return std::nullopt;
  if (value->type != JsonValue::Type::kBool) {
    badValue(name, textWith(Text::kApiNotBoolean, {name}));
  }
  return value->boolean;
}

void missingField(std::string_view name) {
  badValue(name, textWith(Text::kApiMissingField, {name}));
}
