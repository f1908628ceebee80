// The CGI entry of skedra: opens the timer database, reads the request, lets
// the sign-in gate decide, carries out at most one timer action and shows the
// list screen.
#include <sqlite3.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/form_token.h"
#include "skedra_paths.h"
#include "store/store_statements.h"

#include "app/gate.h"
#include "model/entry_checks.h"
#include "model/timer.h"
#include "model/title_text.h"
#include "platform/time_zone.h"
#include "quib/quib.h"
#include "store/group_actions.h"
#include "store/padding_defaults.h"
#include "store/timer_db.h"
#include "store/timer_write.h"
#include "texts/catalogue.h"
#include "views/html/entry_remarks.h"
#include "views/html/list_screen.h"
#include "views/html/notices.h"

namespace {

// Texts of the action results, indexed by the action result: none for
// success.
constexpr std::optional<Text> web_sched_errors[] = {
    std::nullopt,
    Text::kSelectTimers,
};

// The text of an action result; a result without a text of its own reads as
// success.
std::string_view actionText(int actionResult) {
  constexpr int count = sizeof web_sched_errors / sizeof web_sched_errors[0];
  if (actionResult < 0 || actionResult >= count || !web_sched_errors[actionResult]) return "";
  return textOf(*web_sched_errors[actionResult]);
}

// Call sites of exitIfError in this file.
constexpr int kSiteOpenTimerDb = 1;
constexpr int kSiteWriteBegin = 2;
constexpr int kSiteWriteCommit = 3;
// A page that names the timer being edited reads its title in the read
// transaction of the list screen that follows.
constexpr int kSiteEditRead = 4;

// Exit status after a "reinit" request.
constexpr int kExitReinit = 100;

// The timer form's button that saves the form's margins as the defaults and
// writes no timer.
constexpr const char* kSaveDefaultsOnly = "savedefonly";

// The form sends margins in minutes; the store works in seconds. A number
// far outside the form's range saturates at the 32-bit limits rather than
// overflowing.
int32_t minutesToSeconds(int32_t minutes) {
  int64_t seconds = int64_t{minutes} * 60;
  if (seconds > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (seconds < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(seconds);
}

// A number of the request, read once here; an absent or bare parameter
// reads as 0.
int32_t requestNumber(std::string_view name) {
  return quibAtoi(getParam(name));
}

// The timer of a "create" or "update" request as the form sent it.
TimerValues formValues(int32_t prepad, int32_t postpad) {
  TimerValues values;
  values.channel = requestNumber("channel");
  values.day = requestNumber("day");
  values.month = requestNumber("month");
  values.year = requestNumber("year");
  values.hh = requestNumber("hh");
  values.mm = requestNumber("mm");
  values.hours = requestNumber("hours");
  values.mins = requestNumber("mins");
  values.prepad = prepad;
  values.postpad = postpad;
  values.repeat = requestNumber("repeat");
  // The title is the one request value that is URL-decoded.
  ParamValue title = getParam("title");
  values.title = title ? quibUrlDecode(*title) : std::string();
  values.quality = requestNumber("quality");
  values.target = requestNumber("target");
  values.disabled = requestNumber("disabled");
  return values;
}

// Runs the group action that the request names on its selected keys.
// Returns the action result: 1 when no key was selected, else the action's;
// notice tells what was done.
int runGroupAction(std::string& notice) {
  ParamValues values;
  int count = getParamVals("key", values);
  if (count == 0) return 1;
  if (!claimFormToken()) {
    notice = textOf(Text::kFormAlreadySent);
    return 0;
  }
  KeyList keys(values.begin(), values.begin() + count);
  values = ParamValues();
  int32_t changed = 0;
  int result;
  GroupAction action;
  if (isParam("delete")) {
    action = GroupAction::kDelete;
    result = deleteTimers(keys, &changed);
  } else if (isParam("enable")) {
    action = GroupAction::kEnable;
    result = enableTimers(keys, &changed);
  } else if (isParam("disable")) {
    action = GroupAction::kDisable;
    result = disableTimers(keys, &changed);
  } else {
    action = GroupAction::kClone;
    result = cloneTimers(keys, &changed);
  }
  notice = groupNotice(action, changed);
  commitFormToken();
  noteActionDone();
  return result;
}

// Saves the request's margins as the padding defaults and writes no timer.
// Margins beyond the bounds are refused as they are for a timer.
int runDefaultsSave(std::string& notice) {
  const int32_t prepadMinutes = quibAtoi(getParam("prepad"));
  const int32_t postpadMinutes = quibAtoi(getParam("postpad"));
  if (std::optional<EntryRefusal> refusal = marginRefusal(prepadMinutes, postpadMinutes)) {
    notice = refusalNotice(*refusal);
    return 0;
  }
  if (!claimFormToken()) {
    notice = textOf(Text::kFormAlreadySent);
    return 0;
  }
  savePaddingDefaults(minutesToSeconds(prepadMinutes), minutesToSeconds(postpadMinutes));
  commitFormToken();
  noteActionDone();
  notice = defaultsSavedNotice(prepadMinutes, postpadMinutes);
  return 0;
}

// The timer form as the request sent it, for the page after its button
// saved only the defaults: the user goes on with it as entered.
TimerForm sentForm() {
  const int32_t prepadMinutes = quibAtoi(getParam("prepad"));
  const int32_t postpadMinutes = quibAtoi(getParam("postpad"));
  return enteredForm(quibAtoi(getParam("key")),
                     formValues(minutesToSeconds(prepadMinutes), minutesToSeconds(postpadMinutes)),
                     prepadMinutes, postpadMinutes);
}

// Stores the padding defaults when asked to, then creates the timer, or
// updates the one named by "key" when only "update" is present; an update
// without a key (or with key 0) that saves the defaults saves them alone. An
// update of a timer that no longer exists changes nothing, the defaults
// included, and neither does an entry beyond the bounds: its form comes back
// as entered in refused. Both writes are one transaction: a failure leaves neither behind.
int runTimerWrite(std::string& notice, std::optional<TimerForm>& refused) {
  const bool creating = isParam("create") != 0;
  const int32_t key = quibAtoi(getParam("key"));
  if (!creating && key == 0 && isParam("savedef")) return runDefaultsSave(notice);
  // The token is held before the timer database, by every request in that
  // order, so that two requests never wait for each other's lock.
  if (!claimFormToken()) {
    notice = textOf(Text::kFormAlreadySent);
    return 0;
  }
  // An update asks whether its timer still exists in the transaction that
  // writes it, so the database is held once, not twice.
  std::optional<timer_store::StoreTransaction> transaction;
  if (!creating) transaction.emplace(kSiteWriteBegin, kSiteWriteCommit);
  const std::optional<std::string> storedTitle = creating ? std::nullopt : timerTitle(key);
  if (!creating && !storedTitle) {
    releaseFormToken();
    notice = textOf(Text::kTimerGone);
    return 0;
  }
  const int32_t prepadMinutes = quibAtoi(getParam("prepad"));
  const int32_t postpadMinutes = quibAtoi(getParam("postpad"));
  TimerValues values =
      formValues(minutesToSeconds(prepadMinutes), minutesToSeconds(postpadMinutes));
  std::optional<EntryRefusal> refusal =
      entryRefusal(prepadMinutes, postpadMinutes, values.hours, values.mins);
  if (!refusal) refusal = acceptTitle(values.title, storedTitle);
  if (!refusal) refusal = clockRefusal(values);
  if (refusal) {
    releaseFormToken();
    notice = refusalNotice(*refusal);
    refused = enteredForm(creating ? 0 : key, values, prepadMinutes, postpadMinutes);
    return 0;
  }
  if (!transaction) transaction.emplace(kSiteWriteBegin, kSiteWriteCommit);
  if (isParam("savedef")) savePaddingDefaults(values.prepad, values.postpad);
  int32_t written = key;
  if (creating) {
    createTimer(values);
    written = static_cast<int32_t>(sqlite3_last_insert_rowid(web_sched_db));
    notice = createdNotice(values.title);
  } else {
    updateTimer(key, values);
    notice = updatedNotice(values.title);
  }
  // The remarks read the table as the write left it, before the commit ends
  // the transaction: one hold of the database for both.
  appendNotice(notice, normalisedRemark(values));
  appendNotice(notice, scheduleRemarks(written));
  transaction->commit();
  commitFormToken();
  noteActionDone();
  return 0;
}

// True when the action that the request's dispatch picks changes something
// (all but "edit", which only opens a form); each needs the token of its form.
bool actingRequest() {
  for (const char* name :
       {"delete", "enable", "disable", "clone", "create", "update", kSaveDefaultsOnly}) {
    if (isParam(name)) return true;
  }
  return !isParam("edit") && isParam("reinit");
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = createCmd;
  std::string buttonLabel(textOf(Text::kCreateButton));
  int32_t editKey = 0;
  int actionResult = 0;
  // What the action did, for the page; the title of the timer being edited.
  std::string notice;
  std::string editTitle;
  // The form as entered, when its write was refused or its button saved only
  // the defaults.
  std::optional<TimerForm> refused;
  int exitStatus = 0;
  // The gate's message and the session id for the self URL: none so far.
  GateOutcome gate;

  useRecorderTimeZone(RECORDER_TZ_RULE_PATH);
  // Without the page cache's initial bulk allocation, a connection's first
  // lock no longer waits for that memory to be touched page by page: the
  // firmware meets the request's first hold of the timer database shorter.
  // The request reads few pages; each is allocated as it is needed.
  sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
  const char* timerDbPath = argc > 1 ? argv[1] : SKEDRA_TIMER_DB_PATH;
  exitIfError(openWebSchedDb(timerDbPath), kSiteOpenTimerDb);

  parseParams();

  gate = runSignInGate();
  if (!gate.letThrough) {
    quibSendResponse();
    // Stores a session access time that the lookup left due.
    quibClose();
    return 0;
  }

  // The first action that the request names wins. A request that another
  // site started carries out none: it may not act for the signed-in user;
  // nor does one without the token of a form drawn for its session.
  const bool acting = actingRequest();
  if (gate.crossSite) {
    // The list screen as it is, saying why when the request asked to act.
    if (acting) notice = gate.refusal;
  } else if (acting && !formTokenValid(gate.signedInByPassword)) {
    notice = textOf(Text::kFormRefused);
  } else if (isParam("delete") || isParam("enable") || isParam("disable") || isParam("clone")) {
    actionResult = runGroupAction(notice);
  } else if (isParam(kSaveDefaultsOnly)) {
    // The button wins over the form's other fields: it writes no timer.
    actionResult = runDefaultsSave(notice);
    refused = sentForm();
  } else if (isParam("create") || isParam("update")) {
    actionResult = runTimerWrite(notice, refused);
  } else if (isParam("edit")) {
    // An edit link of a timer that is gone shows the create form instead.
    const int32_t key = quibAtoi(getParam("key"));
    beginTimerRead(kSiteEditRead);
    if (std::optional<std::string> title = timerTitle(key)) {
      editKey = key;
      editTitle = std::move(*title);
      command = "update";
      buttonLabel = textOf(Text::kUpdateButton);
    } else {
      notice = textOf(Text::kTimerGone);
    }
  } else if (isParam("reinit")) {
    if (claimFormToken()) {
      commitFormToken();
      exitStatus = kExitReinit;
    } else {
      notice = textOf(Text::kFormAlreadySent);
    }
  }
  // A form kept as entered for a timer being edited stays in that timer's
  // form; the timer gone, it becomes a new one.
  if (refused && refused->id != 0) {
    beginTimerRead(kSiteEditRead);
    if (std::optional<std::string> title = timerTitle(refused->id)) {
      editKey = refused->id;
      editTitle = std::move(*title);
      command = "update";
      buttonLabel = textOf(Text::kUpdateButton);
    } else {
      refused->id = 0;
    }
  }

  std::string_view message =
      gate.message ? std::string_view(*gate.message) : actionText(actionResult);
  displayListScreen(message, editKey, command, buttonLabel, gate.sessionId, notice, editTitle,
                    refused);
  quibSendResponse();

  sqlite3_close(web_sched_db);
  web_sched_db = nullptr;
  quibClose();
  return exitStatus;
}
