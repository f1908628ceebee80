// The timer request as the form sent it, read once where it arrives: which
// action it names, the selected keys, the timer's numbers and the margins.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/entry_refusal.h"
#include "model/timer.h"
#include "store/group_actions.h"

// The actions a request may name, in the order in which the first one named
// wins (the group actions, then the defaults-only button, then the timer
// form's buttons, then the page's Delete button, which only asks first, the
// edit link, the restart and the language form's button; then the tokens
// page, and its buttons that make a token, revoke one and replace the
// calendar feed's).
enum class Action {
  kNone,
  kDelete,
  kEnable,
  kDisable,
  kClone,
  kSaveDefaultsOnly,
  kCreate,
  kUpdate,
  kConfirmDelete,
  kEdit,
  kReinit,
  kSetLanguage,
  kTokens,
  kNewToken,
  kRevokeToken,
  kRotateFeed,
};

struct TimerRequest {
  Action action = Action::kNone;
  KeyList keys;     // the selected timers ("key"), in request order
  int32_t key = 0;  // the timer of an edit or an update ("key"); 0 for none
  // The margins as sent, in minutes; the timer's margins in seconds.
  int32_t prepadMinutes = 0;
  int32_t postpadMinutes = 0;
  bool saveDefaults = false;  // "savedef": the margins are also the new defaults
  // The start and length already read from the date and time pickers
  // ("date", "start", "end") where the request sent them.
  TimerValues timer;
  // Why a picker's value could not be read, or none.
  std::optional<EntryRefusal> pickerRefusal;
  // The language the language form chose ("language"): a catalogue's tag, ""
  // for Automatic; none when it names no catalogue.
  std::optional<std::string> language;
};

// The request's parameter that names action ("delete", ... "reinit").
const char* actionName(Action action);
// Reads the parsed request parameters into one TimerRequest.
TimerRequest readTimerRequest();
// True when the action changes something: all but the edit link, which only
// opens a form, the page's Delete button, which only asks, and the tokens
// page's link. Each needs the token of its form.
bool actionActs(Action action);
// True for the actions whose answer is the tokens page.
bool showsTokens(Action action);
