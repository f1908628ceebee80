// The interface's description and the calendar feed of the recordings.
#include <string>
#include <vector>

#include "app/api_call.h"
#include "model/occurrences.h"
#include "platform/time_zone.h"
#include "quib/api_tokens.h"
#include "quib/params.h"
#include "store/timer_db.h"
#include "store/timer_rows.h"
#include "texts/catalogue.h"
#include "views/html/options.h"
#include "views/ics/recordings_calendar.h"
#include "views/json/timer_json.h"

namespace {

constexpr const char* kOpenApiFile = "openapi.json";

}  // namespace

// The description is a file beside the templates (the build takes its
// whitespace out), sent as it is.
void serveOpenApi(ApiCall&) {
  const std::string document = loadFile(kOpenApiFile);
  if (document.empty()) failCall(Problem::kNotFound, {std::string(textOf(Text::kApiNoResource))});
  answerJson("200 OK", document);
}

// A calendar asks without cookies or headers: the feed's own token in its
// address is what lets it read, and all it may read.
void serveFeed(ApiCall& call) {
  ApiTokenUse use;
  switch (quibCheckFeedToken(quibUrlDecode(call.feed), &use)) {
    case ApiTokenCheck::kValid:
      break;
    case ApiTokenCheck::kLocked: {
      ProblemDetails details{std::string(textOf(Text::kApiTooManyAttempts))};
      details.retryAfter = quibApiTokenRetryAfter();
      failCall(Problem::kTooManyAttempts, details);
    }
    case ApiTokenCheck::kInvalid:
      failCall(Problem::kUnauthorized, {std::string(textOf(Text::kApiBadToken))});
  }
  beginTimerRead(FailureSite::kRowsPrepare);
  const std::vector<ScheduleRow> rows = readTimerRows();
  endTimerRead(FailureSite::kRowsReset);
  const RecorderZone& zone = recorderZone();
  CalendarFeed feed;
  feed.zoneRule = zone.rule;
  feed.zoneName = zone.name;
  const std::string host = apiHost();
  feed.host = host;
  feed.now = requestNow();
  feed.channelName = [](int16_t channel) { return channelName(channel < 0 ? 0 : channel); };
  const std::string calendar = recordingsCalendar(rows, feed);
  writeJsonAnswer("200 OK", "Content-Type: text/calendar; charset=utf-8\n", calendar);
}
