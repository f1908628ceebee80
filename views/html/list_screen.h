// The list screen: the timer table, the form and the page around them.
#pragma once

#include <cstdint>
#include <forward_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/timer.h"
#include "quib/quib.h"

extern const char* const createCmd;  // "create"

// The value of "sort" that lists the rows by their next recording, and the
// one that lists them in the order they are stored.
constexpr std::string_view kSortNext = "next";
constexpr std::string_view kSortStored = "stored";

// Whether the page's form creates a timer or updates the one being edited.
enum class FormMode { kCreate, kUpdate };

// Where an error shows: beside the part of the page whose request failed, so
// that the page opens at the problem. Successes always show at the top.
enum class MessagePlace { kTop, kTimers, kForm };

// The inputs of the timer form that an error can concern; the length is
// entered as the end.
enum class FormField { kNone, kTitle, kDate, kStart, kLength, kMargins };

// The stored default margins, in minutes.
struct DefaultMargins {
  int32_t prepad = 0;
  int32_t postpad = 0;
};

// Everything the list screen shows, gathered before it is drawn.
struct ListScreen {
  std::string_view message;  // the gate's message or the action result's text
  FormMode mode = FormMode::kCreate;
  int32_t editKey = 0;                   // the timer being edited (kUpdate)
  std::string_view editTitle;            // its title, for the page title
  std::optional<std::string> sessionId;  // for the self URL
  // The language the language form shows chosen ("" for Automatic).
  std::string_view languageChoice;
  std::string_view notice;  // what the request's action did (page text, already escaped)
  // The same outcome sorted for the page: what was done or is to be known,
  // and what failed, with where it failed and the input at fault.
  std::string_view status;
  std::string_view error;
  MessagePlace errorPlace = MessagePlace::kTop;
  FormField faultField = FormField::kNone;
  // The form as entered, when its write was refused.
  std::optional<TimerForm> entered;
  bool sortNext = false;  // the request asks for the rows by their next recording
  // Every row of the timer table in database order.
  std::vector<ScheduleRow> rows;
  DefaultMargins defaults;
  // Default rows are stored without their triggers: the page asks for them
  // to be saved again.
  bool resaveDefaults = false;
  // The zone that could not be read (UTC is used in its place), as found.
  std::optional<std::string> unreadableZone;
};

// What the list screen hands to its renderers (TemplateContext user data).
struct ScreenState {
  int32_t editKey = 0;
  // Every row of the timer table in database order.
  std::vector<ScheduleRow> rows;
  TimerForm form;
  std::string command;      // "create" or "update"
  std::string buttonLabel;  // "Create" or "Update"
  // The form as entered when the write was refused: it replaces the form
  // once the table is drawn.
  std::optional<TimerForm> entered;
  // Texts that the page's Elements borrow (escaped data), kept for the page.
  std::forward_list<std::string> pageTexts;
  // The request asks for the rows by their next recording ("sort=next").
  bool sortNext = false;
  // Default rows are stored without their triggers: the page asks for them
  // to be saved again.
  bool resaveDefaults = false;
};

// Writes the whole list screen into the response.
void displayListScreen(ListScreen screen);
void commandProcessor(std::string_view name, std::string_view path, TemplateContext* context);
// A new timer: five minutes from now for half an hour with the default
// margins.
TimerForm& prePopulateTimerForm(TimerForm& form, const DefaultMargins& defaults);
void printCancelUpdate(std::string_view text, TemplateContext* context);
// Sink of the include "resavedef": writes only while the defaults must be
// saved again.
void printResaveDefaults(std::string_view text, TemplateContext* context);
