// One request of the JSON interface as its resources see it: read once,
// where it arrives (api.cpp), and the answers they give.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quib/json.h"
#include "views/json/problem.h"

struct ApiCall {
  std::string_view method;
  int32_t id = 0;                      // the {id} of the path, when it has one
  std::optional<std::string> ifMatch;  // the version of If-Match, quotes taken off
  JsonValue body;                      // an object; empty for a read
  std::string_view feed;               // the feed token of the calendar's address
};

// A problem that ends the request: thrown by failCall, answered by the
// interface's entry once every transaction on the way has rolled back.
struct ApiProblem {
  Problem problem;
  ProblemDetails details;
};
// Ends the request with a problem (throws ApiProblem).
[[noreturn]] void failCall(Problem problem, ProblemDetails details = {});

// The members of the body, checked against the names a resource takes:
// another name is refused (unknown-field); ignored names are taken and
// dropped.
void checkFields(const JsonValue& body, const std::vector<std::string_view>& taken,
                 const std::vector<std::string_view>& ignored = {});
// An integer member from low to high, or none when absent; anything else is
// refused (bad-value).
std::optional<int32_t> integerField(const JsonValue& body, std::string_view name, int64_t low,
                                    int64_t high);
std::optional<std::string> stringField(const JsonValue& body, std::string_view name);
std::optional<bool> booleanField(const JsonValue& body, std::string_view name);
// Refuses the request for the value of a member (bad-value).
[[noreturn]] void badValue(std::string_view name, std::string detail);
// An RFC 3339 date and time with its offset (or Z) on a whole minute, as an
// instant; none for anything else (a day its month lacks, seconds, no offset).
std::optional<int64_t> readRfc3339(std::string_view text);
// A required member that is absent.
[[noreturn]] void missingField(std::string_view name);

// The host the request was sent to (HTTP_HOST without its port, else
// SERVER_NAME), which names the recorder in the feed's events.
std::string apiHost();
// The interface's own absolute path: the program's path and "/api/v1".
std::string apiBase();
// Writes a 200/201 JSON answer with the extra header lines.
void answerJson(std::string_view status, std::string_view body, std::string_view headers = "");

// The resources (api_timers.cpp, api_lists.cpp).
void listTimers(ApiCall& call);
void createTimer(ApiCall& call);
void readTimer(ApiCall& call);
void updateTimerResource(ApiCall& call);
void deleteTimerResource(ApiCall& call);
void enableTimerResource(ApiCall& call);
void disableTimerResource(ApiCall& call);
void cloneTimerResource(ApiCall& call);
void deleteTimerBatch(ApiCall& call);
void enableTimerBatch(ApiCall& call);
void disableTimerBatch(ApiCall& call);
void cloneTimerBatch(ApiCall& call);
void listChannels(ApiCall& call);
void listOverlaps(ApiCall& call);
void readDefaults(ApiCall& call);
// The interface's description and the calendar feed (api_documents.cpp).
void serveOpenApi(ApiCall& call);
void serveFeed(ApiCall& call);
void writeDefaults(ApiCall& call);
