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
#include "store/timer_rows.h"

extern const char* const createCmd;  // "create"

// What the list screen hands to its renderers (TemplateContext user data).
struct ScreenState {
  int32_t editKey = 0;
  // Every row of the timer table in database order, once they are read.
  std::optional<std::vector<ScheduleRow>> rows;
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

// notice: what the request's action did (page text, already escaped);
// editTitle: the title of the timer being edited, for the page title;
// entered: the form as entered, when its write was refused.
void displayListScreen(std::string_view message, int32_t editKey, std::string_view command,
                       std::string_view buttonLabel, const std::optional<std::string>& sessionId,
                       std::string_view notice = {}, std::string_view editTitle = {},
                       const std::optional<TimerForm>& entered = std::nullopt);
void commandProcessor(std::string_view name, std::string_view path, TemplateContext* context);
TimerForm& prePopulateTimerForm(TimerForm& form);
void printCancelUpdate(std::string_view text, TemplateContext* context);
// Sink of the include "resavedef": writes only while the defaults must be
// saved again.
void printResaveDefaults(std::string_view text, TemplateContext* context);
