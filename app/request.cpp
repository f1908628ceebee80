#include "app/request.h"

#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "app/language.h"
#include "model/picked_times.h"
#include "quib/quib.h"

namespace {

// The parameter of each action, in the order of Action.
constexpr const char* kActionNames[] = {
    "",       "delete",   "enable",        "disable",    "clone",  "savedefonly",
    "create", "update",   "confirmdelete", "edit",       "reinit", "setlanguage",
    "tokens", "newtoken", "revoketoken",   "rotatefeed",
};
static_assert(std::size(kActionNames) == static_cast<size_t>(Action::kRotateFeed) + 1);

// The form sends margins in minutes; the store works in seconds. A number
// far outside the form's range saturates at the 32-bit limits rather than
// overflowing.
int32_t minutesToSeconds(int32_t minutes) {
  int64_t seconds = int64_t{minutes} * 60;
  if (seconds > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (seconds < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(seconds);
}

// A number of the request; an absent or bare parameter reads as 0.
int32_t requestNumber(std::string_view name) {
  return quibAtoi(getParam(name));
}

// A picker's value, URL-decoded (its ':' arrives as %3A); none when the
// request did not send it, "" when it sent the name alone.
std::optional<std::string> pickerValue(std::string_view name) {
  if (!isParam(name)) return std::nullopt;
  const ParamValue value = getParam(name);
  return value ? quibUrlDecode(*value) : std::string();
}

// The first action the request names.
Action namedAction() {
  for (size_t i = 1; i < std::size(kActionNames); ++i) {
    if (isParam(kActionNames[i])) return static_cast<Action>(i);
  }
  return Action::kNone;
}

}  // namespace

const char* actionName(Action action) {
  return kActionNames[static_cast<size_t>(action)];
}

bool actionActs(Action action) {
  return action != Action::kNone && action != Action::kEdit && action != Action::kConfirmDelete &&
         action != Action::kTokens;
}

bool showsTokens(Action action) {
  return action >= Action::kTokens;
}

TimerRequest readTimerRequest() {
  TimerRequest request;
  request.action = namedAction();
  ParamValues keys;
  const int count = getParamVals("key", keys);
  request.keys.assign(keys.begin(), keys.begin() + count);
  request.key = requestNumber("key");
  request.prepadMinutes = requestNumber("prepad");
  request.postpadMinutes = requestNumber("postpad");
  request.saveDefaults = isParam("savedef") != 0;

  TimerValues& timer = request.timer;
  timer.channel = requestNumber("channel");
  timer.day = requestNumber("day");
  timer.month = requestNumber("month");
  timer.year = requestNumber("year");
  timer.hh = requestNumber("hh");
  timer.mm = requestNumber("mm");
  timer.hours = requestNumber("hours");
  timer.mins = requestNumber("mins");
  timer.prepad = minutesToSeconds(request.prepadMinutes);
  timer.postpad = minutesToSeconds(request.postpadMinutes);
  timer.repeat = requestNumber("repeat");
  // The title is the one request value that is URL-decoded.
  ParamValue title = getParam("title");
  timer.title = title ? quibUrlDecode(*title) : std::string();
  timer.quality = requestNumber("quality");
  timer.target = requestNumber("target");
  timer.disabled = requestNumber("disabled");

  // The pickers replace the number fields of the same values.
  const std::optional<std::string> date = pickerValue("date"), start = pickerValue("start"),
                                   end = pickerValue("end");
  PickedTimes picked;
  if (date) picked.date = *date;
  if (start) picked.start = *start;
  if (end) picked.end = *end;
  request.pickerRefusal = applyPickedTimes(picked, timer);
  if (request.action == Action::kSetLanguage) request.language = requestedLanguage();
  return request;
}
