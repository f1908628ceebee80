// The CGI entry of skedra: opens the timer database, reads the request once,
// lets the sign-in gate decide, carries out at most one timer action through
// the table of actions and shows the list screen.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/api.h"
#include "app/form_token.h"
#include "app/gate.h"
#include "app/language.h"
#include "app/list_page.h"
#include "app/request.h"
#include "app/tokens_page.h"
#include "model/entry_checks.h"
#include "model/timer.h"
#include "model/title_text.h"
#include "platform/time_zone.h"
#include "quib/quib.h"
#include "skedra_paths.h"
#include "store/group_actions.h"
#include "store/padding_defaults.h"
#include "store/store_statements.h"
#include "store/timer_db.h"
#include "store/timer_rows.h"
#include "store/timer_write.h"
#include "texts/catalogue.h"
#include "views/html/delete_confirm.h"
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

// Exit status after a "reinit" request.
constexpr int kExitReinit = 100;

// What the request's action leaves for the page.
struct Outcome {
  int actionResult = 0;
  // What the action did, for the page; failed when it says why nothing was
  // done, with the input of the timer form at fault.
  std::string notice;
  bool failed = false;
  FormField field = FormField::kNone;
  // The timer being edited and its title, for the form and the page title.
  bool editing = false;
  int32_t editKey = 0;
  std::string editTitle;
  // The form as entered, when its write was refused or its button saved only
  // the defaults.
  std::optional<TimerForm> refused;
  // The selected timers are to be shown for confirmation of their delete.
  bool confirmDelete = false;
  int exitStatus = 0;
  // The signed-in user, whose tokens the token actions change, and what they
  // leave for the tokens page.
  std::string user;
  TokenOutcome tokens;
};

// The action did nothing, for the reason the text gives.
void fail(Outcome& outcome, Text reason) {
  outcome.notice = textOf(reason);
  outcome.failed = true;
}

// The entry was refused: nothing written, the input at fault marked.
void refuse(Outcome& outcome, EntryRefusal refusal) {
  outcome.notice = refusalNotice(refusal);
  outcome.failed = true;
  outcome.field = refusalField(refusal);
}

// Opens the form of the timer with this id, when it still exists.
bool openEditForm(int32_t id, Outcome& outcome) {
  beginTimerRead(FailureSite::kEntryEditRead);
  std::optional<std::string> title = timerTitle(id);
  if (!title) return false;
  outcome.editing = true;
  outcome.editKey = id;
  outcome.editTitle = std::move(*title);
  return true;
}

// Runs the group action that the request names on its selected keys. The
// action result is 1 when no key was selected.
void runGroupAction(const TimerRequest& request, Outcome& outcome) {
  if (request.keys.empty()) {
    outcome.actionResult = 1;
    return;
  }
  if (!claimFormToken()) {
    fail(outcome, Text::kFormAlreadySent);
    return;
  }
  int32_t changed = 0;
  GroupAction action = GroupAction::kClone;
  switch (request.action) {
    case Action::kDelete:
      action = GroupAction::kDelete;
      outcome.actionResult = deleteTimers(request.keys, &changed);
      break;
    case Action::kEnable:
      action = GroupAction::kEnable;
      outcome.actionResult = enableTimers(request.keys, &changed);
      break;
    case Action::kDisable:
      action = GroupAction::kDisable;
      outcome.actionResult = disableTimers(request.keys, &changed);
      break;
    default:
      outcome.actionResult = cloneTimers(request.keys, &changed);
      break;
  }
  outcome.notice = groupNotice(action, changed);
  outcome.failed = changed <= 0;
  commitFormToken();
  noteActionDone();
}

// Saves the request's margins as the padding defaults and writes no timer.
// Margins beyond the bounds are refused as they are for a timer.
void saveDefaults(const TimerRequest& request, Outcome& outcome) {
  if (std::optional<EntryRefusal> refusal =
          marginRefusal(request.prepadMinutes, request.postpadMinutes)) {
    refuse(outcome, *refusal);
    return;
  }
  if (!claimFormToken()) {
    fail(outcome, Text::kFormAlreadySent);
    return;
  }
  savePaddingDefaults(request.timer.prepad, request.timer.postpad);
  commitFormToken();
  noteActionDone();
  outcome.notice = defaultsSavedNotice(request.prepadMinutes, request.postpadMinutes);
}

// The form's button that saves only the defaults: the page after it keeps
// the form as sent, and the user goes on with it as entered.
void runDefaultsOnly(const TimerRequest& request, Outcome& outcome) {
  saveDefaults(request, outcome);
  outcome.refused =
      enteredForm(request.key, request.timer, request.prepadMinutes, request.postpadMinutes);
}

// Stores the padding defaults when asked to, then creates the timer, or
// updates the one named by "key"; an update without a key (or with key 0)
// that saves the defaults saves them alone. An update of a timer that no
// longer exists changes nothing, the defaults included, and neither does an
// entry beyond the bounds: its form comes back as entered in refused. Both
// writes are one transaction: a failure leaves neither behind.
void runTimerWrite(const TimerRequest& request, Outcome& outcome) {
  const bool creating = request.action == Action::kCreate;
  if (!creating && request.key == 0 && request.saveDefaults) {
    saveDefaults(request, outcome);
    return;
  }
  // The token is held before the timer database, by every request in that
  // order, so that two requests never wait for each other's lock.
  if (!claimFormToken()) {
    fail(outcome, Text::kFormAlreadySent);
    return;
  }
  // An update asks whether its timer still exists in the transaction that
  // writes it, so the database is held once, not twice.
  std::optional<timer_store::StoreTransaction> transaction;
  if (!creating) transaction.emplace(FailureSite::kEntryWriteBegin, FailureSite::kEntryWriteCommit);
  const std::optional<std::string> storedTitle = creating ? std::nullopt : timerTitle(request.key);
  if (!creating && !storedTitle) {
    releaseFormToken();
    fail(outcome, Text::kTimerGone);
    return;
  }
  TimerValues values = request.timer;
  // A picker's value that could not be read comes first: the length and
  // start that the other checks read may come from it.
  std::optional<EntryRefusal> refusal = request.pickerRefusal;
  if (!refusal) {
    refusal = timerEntryRefusal(values, request.prepadMinutes, request.postpadMinutes, storedTitle);
  }
  if (refusal) {
    releaseFormToken();
    refuse(outcome, *refusal);
    outcome.refused = enteredForm(creating ? 0 : request.key, values, request.prepadMinutes,
                                  request.postpadMinutes);
    return;
  }
  if (!transaction)
    transaction.emplace(FailureSite::kEntryWriteBegin, FailureSite::kEntryWriteCommit);
  if (request.saveDefaults) savePaddingDefaults(values.prepad, values.postpad);
  int32_t written = request.key;
  if (creating) {
    createTimer(values);
    written = static_cast<int32_t>(sqlite3_last_insert_rowid(web_sched_db));
    outcome.notice = createdNotice(values.title);
  } else {
    updateTimer(request.key, values);
    outcome.notice = updatedNotice(values.title);
  }
  // The remarks read the table as the write left it, before the commit ends
  // the transaction: one hold of the database for both.
  appendNotice(outcome.notice, normalisedRemark(values));
  appendNotice(outcome.notice, scheduleRemarks(loadTimerSchedules(), written));
  transaction->commit();
  commitFormToken();
  noteActionDone();
}

// The page's Delete button asks first: the page that asks is drawn once the
// rows are read.
void runConfirmDelete(const TimerRequest& request, Outcome& outcome) {
  if (request.keys.empty()) {
    outcome.actionResult = 1;
  } else {
    outcome.confirmDelete = true;
  }
}

// An edit link of a timer that is gone shows the create form instead.
void runEdit(const TimerRequest& request, Outcome& outcome) {
  if (!openEditForm(request.key, outcome)) fail(outcome, Text::kTimerGone);
}

void runReinit(const TimerRequest&, Outcome& outcome) {
  if (claimFormToken()) {
    commitFormToken();
    outcome.exitStatus = kExitReinit;
  } else {
    fail(outcome, Text::kFormAlreadySent);
  }
}

// Makes or revokes one of the user's tokens; the tokens page follows.
void runTokens(const TimerRequest& request, Outcome& outcome) {
  outcome.tokens = runTokenAction(request.action, outcome.user);
}

// Stores the language that the form chose with the user's account and in
// the cookie, "" (Automatic) clearing both. It runs before the page speaks,
// and so says nothing itself: it gives the reason when the form was already
// sent, and the choice made, or none when nothing changed.
std::optional<std::string> runSetLanguage(const TimerRequest& request, const std::string& user,
                                          std::optional<Text>& reason) {
  if (!request.language) return std::nullopt;
  if (!claimFormToken()) {
    reason = Text::kFormAlreadySent;
    return std::nullopt;
  }
  quibStoreAccountLanguage(user, *request.language);
  commitFormToken();
  setLanguageCookie(*request.language);
  return request.language;
}

// Where the page shows an action's error: beside the form that sent it.
MessagePlace errorPlace(Action action) {
  switch (action) {
    case Action::kDelete:
    case Action::kConfirmDelete:
    case Action::kEnable:
    case Action::kDisable:
    case Action::kClone:
      return MessagePlace::kTimers;
    case Action::kSaveDefaultsOnly:
    case Action::kCreate:
    case Action::kUpdate:
      return MessagePlace::kForm;
    default:
      return MessagePlace::kTop;
  }
}

// The rows that the keys name, in the list's order; a key that names no
// timer is left out.
std::vector<const ScheduleRow*> selectedRows(const std::vector<ScheduleRow>& rows,
                                             const KeyList& keys) {
  std::vector<int32_t> ids;
  ids.reserve(keys.size());
  for (const ParamValue& key : keys) ids.push_back(quibAtoi(key));
  std::sort(ids.begin(), ids.end());
  std::vector<const ScheduleRow*> selected;
  for (const ScheduleRow& row : rows) {
    if (std::binary_search(ids.begin(), ids.end(), row.id)) selected.push_back(&row);
  }
  return selected;
}

// Sends the page written, closes both databases and gives the exit status.
int endRun(int exitStatus) {
  quibSendResponse();
  sqlite3_close(web_sched_db);
  web_sched_db = nullptr;
  quibClose();
  return exitStatus;
}

// What each action runs, in the order of Action.
using ActionRunner = void (*)(const TimerRequest&, Outcome&);
constexpr ActionRunner kActionRunners[] = {
    nullptr,           // kNone
    runGroupAction,    // kDelete
    runGroupAction,    // kEnable
    runGroupAction,    // kDisable
    runGroupAction,    // kClone
    runDefaultsOnly,   // kSaveDefaultsOnly
    runTimerWrite,     // kCreate
    runTimerWrite,     // kUpdate
    runConfirmDelete,  // kConfirmDelete
    runEdit,           // kEdit
    runReinit,         // kReinit
    nullptr,           // kSetLanguage: runs before the page speaks
    nullptr,           // kTokens
    runTokens,         // kNewToken
    runTokens,         // kRevokeToken
    runTokens,         // kRotateFeed
};
static_assert(sizeof kActionRunners / sizeof kActionRunners[0] ==
              static_cast<size_t>(Action::kRotateFeed) + 1);

}  // namespace

int main(int argc, char** argv) {
  useRecorderTimeZone(RECORDER_TZ_RULE_PATH);
  // Without the page cache's initial bulk allocation, a connection's first
  // lock no longer waits for that memory to be touched page by page: the
  // firmware meets the request's first hold of the timer database shorter.
  // The request reads few pages; each is allocated as it is needed.
  sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
  const char* timerDbPath = argc > 1 ? argv[1] : SKEDRA_TIMER_DB_PATH;
  if (apiRequested()) return runApi(timerDbPath);
  exitIfError(openWebSchedDb(timerDbPath), FailureSite::kOpenTimerDb);

  parseParams();

  const GateOutcome gate = runSignInGate();
  if (!gate.letThrough) {
    quibSendResponse();
    // Stores a session access time that the lookup left due.
    quibClose();
    return 0;
  }

  // The first action that the request names wins. A request that another
  // site started carries out none: it may not act for the signed-in user;
  // nor does one without the token of a form drawn for its session.
  const TimerRequest request = readTimerRequest();
  const bool acting = actionActs(request.action);
  const bool tokenRefused = !gate.crossSite && acting && !formTokenValid(gate.signedInByPassword);
  // The language is chosen before anything is said: the language form's
  // action runs ahead of the page's texts.
  std::optional<Text> languageRefusal;
  std::optional<std::string> chosenLanguage;
  if (request.action == Action::kSetLanguage && !gate.crossSite && !tokenRefused) {
    chosenLanguage = runSetLanguage(request, gate.user, languageRefusal);
  }
  speakRequestLanguage(chosenLanguage, gate.accountLanguage);
  Outcome outcome;
  outcome.user = gate.user;
  if (gate.crossSite) {
    // The list screen as it is, saying why when the request asked to act.
    if (acting) {
      outcome.notice = textOf(*gate.refusal);
      outcome.failed = true;
    }
  } else if (tokenRefused) {
    fail(outcome, Text::kFormRefused);
  } else if (languageRefusal) {
    fail(outcome, *languageRefusal);
  } else if (ActionRunner run = kActionRunners[static_cast<size_t>(request.action)]) {
    run(request, outcome);
  }
  if (showsTokens(request.action)) {
    // A refusal of the gate comes to the page as the action's failure.
    if (outcome.failed) outcome.tokens = TokenOutcome{outcome.notice, true, std::nullopt, false};
    showTokensPage(gate.user, gate.sessionId, outcome.tokens);
    return endRun(0);
  }
  // A form kept as entered for a timer being edited stays in that timer's
  // form; the timer gone, it becomes a new one.
  if (outcome.refused && outcome.refused->id != 0 && !openEditForm(outcome.refused->id, outcome)) {
    outcome.refused->id = 0;
  }

  ListScreen screen = readListScreen();
  if (outcome.confirmDelete) {
    DeleteConfirmation confirmation;
    confirmation.timers = selectedRows(screen.rows, request.keys);
    if (!confirmation.timers.empty()) {
      confirmation.sessionId = gate.sessionId;
      confirmation.sortNext = screen.sortNext;
      displayDeleteConfirmation(confirmation);
      return endRun(0);
    }
    fail(outcome, Text::kTimerGone);
  }
  const std::string_view gateMessage = gate.message ? textOf(*gate.message) : "";
  screen.message = gate.message ? gateMessage : actionText(outcome.actionResult);
  screen.mode = outcome.editing ? FormMode::kUpdate : FormMode::kCreate;
  screen.editKey = outcome.editKey;
  screen.editTitle = outcome.editTitle;
  screen.sessionId = gate.sessionId;
  screen.languageChoice = languageChoice();
  screen.notice = outcome.notice;
  // The gate's message is a success ("Password changed"); the action result's
  // text and a failed action's notice are errors, shown where the request
  // was sent from.
  std::string status(gateMessage);
  if (outcome.failed) {
    screen.error = outcome.notice;
  } else {
    appendNotice(status, outcome.notice);
  }
  screen.status = status;
  if (outcome.actionResult != 0) screen.error = actionText(outcome.actionResult);
  screen.errorPlace = errorPlace(request.action);
  screen.faultField = outcome.field;
  screen.entered = std::move(outcome.refused);
  displayListScreen(std::move(screen));
  return endRun(outcome.exitStatus);
}
