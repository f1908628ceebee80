// The list screen: the response header, the page variables, the new-timer
// form and the routing of the page's include directives to the renderers.
#include "views/html/list_screen.h"

#include <cassert>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include "model/timer.h"
#include "model/title_text.h"
#include "texts/catalogue.h"
#include "views/html/language_form.h"
#include "views/html/options.h"
#include "views/html/schedrows.h"

// The command of a request that shows the form for a new timer; an edit
// switches it to "update".
const char* const createCmd = "create";

namespace {

constexpr const char* kPageTemplate = "skedra.shtml";
constexpr const char* kSelfUrl = "skedra.cgi";

// Seconds from now to the start that a new timer is offered with.
constexpr std::time_t kNewTimerLead = 300;

// What the input at fault carries: marked invalid and focused, so that the
// page opens at it. Each input is described by the form's error box.
constexpr const char* kFaultAttributes = " aria-invalid=\"true\" autofocus";

// The names of the page variables that mark each input of the timer form.
constexpr std::pair<FormField, const char*> kFaultVariables[] = {
    {FormField::kTitle, "titleFault"},     {FormField::kDate, "dateFault"},
    {FormField::kStart, "startFault"},     {FormField::kLength, "lengthFault"},
    {FormField::kMargins, "marginsFault"},
};

// Puts the outcome of the request into the page: successes into the status
// box at the top, an error into the alert box where it happened. An error
// box takes the focus itself when no input of the form is at fault.
ElementList messageElements(const ListScreen& screen, ElementList list) {
  list = strelem("statusMsg", screen.status, std::move(list));
  const bool fieldAtFault = !screen.error.empty() && screen.errorPlace == MessagePlace::kForm &&
                            screen.faultField != FormField::kNone;
  constexpr std::pair<MessagePlace, std::pair<const char*, const char*>> kBoxes[] = {
      {MessagePlace::kTop, {"errorTop", "errorTopFocus"}},
      {MessagePlace::kTimers, {"errorTimers", "errorTimersFocus"}},
      {MessagePlace::kForm, {"errorForm", "errorFormFocus"}},
  };
  for (const auto& [place, names] : kBoxes) {
    const bool here = !screen.error.empty() && screen.errorPlace == place;
    list = strelem(names.first, here ? screen.error : "", std::move(list));
    list = strelem(names.second, here && !fieldAtFault ? " autofocus" : "", std::move(list));
  }
  for (const auto& [field, name] : kFaultVariables) {
    list = strelem(name, fieldAtFault && screen.faultField == field ? kFaultAttributes : "",
                   std::move(list));
  }
  return list;
}

}  // namespace

// Writes the whole list screen into the response: header, then
// "skedra.shtml" expanded with the page variables; the include directives
// reach commandProcessor.
void displayListScreen(ListScreen screen) {
  quibPrintHttpHeader();

  ScreenState state;
  const bool creating = screen.mode == FormMode::kCreate;
  state.editKey = screen.editKey;
  state.command = creating ? createCmd : "update";
  state.buttonLabel = textOf(creating ? Text::kCreateButton : Text::kUpdateButton);
  if (creating) prePopulateTimerForm(state.form, screen.defaults);
  state.resaveDefaults = screen.resaveDefaults;
  state.entered = std::move(screen.entered);
  state.sortNext = screen.sortNext;
  state.rows = std::move(screen.rows);
  const std::optional<std::string>& sessionId = screen.sessionId;
  const std::string_view message = screen.message;
  const std::string_view notice = screen.notice;
  const std::string_view editTitle = screen.editTitle;

  // The session id is the system's own, but it goes into attributes, so it is
  // escaped like any other text put into the page.
  const std::string id = sessionId ? quibHtmlEscape(*sessionId) : std::string();
  std::string selfUrl = kSelfUrl;
  std::string selfLink = std::string(kSelfUrl) + "?";
  if (sessionId) {
    selfUrl += "?quibsession=" + id;
    selfLink += "quibsession=" + id + "&";
  }

  // Drawn for every page, written nowhere: the request that carries out the
  // page's form records it.
  const std::string formToken = quibNewFormToken().value_or("");
  const std::string pageTitle =
      creating ? std::string(textOf(Text::kPageTitle))
               : textWith(Text::kEditPageTitle, {quibHtmlEscape(readableTitle(editTitle))});

  TemplateContext context;
  context.directives = 1;
  context.texts = textOfName;
  context.processor = commandProcessor;
  context.userData = &state;
  ElementList list = strelem("sessionId", id, nullptr);
  // An error takes the focus; else the title of the timer being edited.
  list =
      strelem("titleFocus", creating || !screen.error.empty() ? "" : " autofocus", std::move(list));
  list = strelem("pageTitle", pageTitle, std::move(list));
  list = strelem("formtoken", formToken, std::move(list));
  list = strelem("notice", notice, std::move(list));
  // The zone found is the recorder's configuration, shown as found.
  std::string zoneWarning;
  if (const std::optional<std::string>& zone = screen.unreadableZone) {
    zoneWarning = textWith(Text::kZoneUnreadable, {quibHtmlEscape(*zone)});
  }
  list = strelem("zoneWarning", zoneWarning, std::move(list));
  if (state.resaveDefaults) {
    // The stored defaults, which the page's button saves again.
    list = strelem("defaultsNotice", textOf(Text::kDefaultsNotApplied), std::move(list));
    list = intelem("defPrepad", screen.defaults.prepad, std::move(list));
    list = intelem("defPostpad", screen.defaults.postpad, std::move(list));
  }
  // The "Next recording" header sorts by it, or back to the database's order.
  const std::string sortLink =
      selfLink + "sort=" + std::string(state.sortNext ? kSortStored : kSortNext);
  list = strelem("sortNext", state.sortNext ? kSortNext : "", std::move(list));
  list = strelem("sortLink", sortLink, std::move(list));
  list = strelem("sortState", state.sortNext ? "ascending" : "none", std::move(list));
  list = strelem("selfLink", selfLink, std::move(list));
  list = strelem("selfUrl", selfUrl, std::move(list));
  list = strelem("buttonVal", state.buttonLabel, std::move(list));
  list = strelem("buttonVar", state.command, std::move(list));
  list = strelem("formTitle", textOf(creating ? Text::kCreateFormTitle : Text::kUpdateFormTitle),
                 std::move(list));
  list = strelem("msg", message, std::move(list));
  list = messageElements(screen, std::move(list));
  const std::string languages = languageOptions(screen.languageChoice);
  list = languageFormElements(languages, std::move(list));
  list = langElement(std::move(list));
  context.elements = std::move(list);

  readTextFile(kPageTemplate, &context, printSimpleText);
  disposeElems(std::move(context.elements));
}

// Routes an include directive of the page by its base name.
void commandProcessor(std::string_view name, std::string_view path, TemplateContext* context) {
  const std::string file(path);
  if (name == "schedrows") {
    execSchedrows(path, context);
  } else if (name == "repopts") {
    printRepeatOptions(path, context);
  } else if (name == "cancelupd") {
    readTextFile(file, context, printCancelUpdate);
  } else if (name == "resavedef") {
    readTextFile(file, context, printResaveDefaults);
  } else if (name == "chopts") {
    printChannelOptions(path, context);
  } else {
    readTextFile(file, context, printSimpleText);
  }
}

// A new timer: five minutes from now for half an hour, in HQ to the disk,
// active, with the stored padding defaults in minutes.
TimerForm& prePopulateTimerForm(TimerForm& form, const DefaultMargins& defaults) {
  const std::time_t start = std::time(nullptr) + kNewTimerLead;
  std::tm local{};
  localtime_r(&start, &local);
  form.id = 0;
  form.channel = 0;
  form.title = textOf(Text::kNewTimerTitle);
  form.day = local.tm_mday;
  form.month = local.tm_mon + 1;
  form.year = local.tm_year + 1900;
  form.hh = local.tm_hour;
  form.mm = local.tm_min;
  form.hours = 0;
  form.mins = 30;
  form.prepad = defaults.prepad;
  form.postpad = defaults.postpad;
  form.repeat = 0;
  form.quality = 1;
  form.target = 0;
  form.enable = 0;
  return form;
}

// Sink that lets text through only while the defaults must be saved again.
void printResaveDefaults(std::string_view text, TemplateContext* context) {
  assert(context != nullptr && context->userData != nullptr);
  if (static_cast<const ScreenState*>(context->userData)->resaveDefaults) quibOut(text);
}

// Sink that lets text through only while a timer is being edited.
void printCancelUpdate(std::string_view text, TemplateContext* context) {
  assert(context != nullptr && context->userData != nullptr);
  const ScreenState& state = *static_cast<const ScreenState*>(context->userData);
  if (state.command != createCmd) quibOut(text);
}
