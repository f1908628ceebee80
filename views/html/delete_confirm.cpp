// The confirmation page of the page's Delete button. Its form sends the
// request value "delete" with the keys it names, which deletes as it always
// has; only the page's own button comes here first.
#include "views/html/delete_confirm.h"

#include <cstdint>
#include <string>

#include "model/repeat.h"
#include "model/title_text.h"
#include "quib/quib.h"
#include "texts/catalogue.h"
#include "views/html/language_form.h"
#include "views/html/list_screen.h"
#include "views/html/options.h"
#include "views/html/timer_texts.h"

namespace {

constexpr const char* kConfirmTemplate = "delconfirm.shtml";

// "20:15" for the time of day of a repeating timer, each number written with
// two digits at least.
std::string clockText(int32_t hh, int32_t mm) {
  const auto twoDigits = [](int32_t value) {
    std::string digits = std::to_string(value);
    if (digits.size() < 2) digits.insert(0, 1, '0');
    return digits;
  };
  return twoDigits(hh) + ':' + twoDigits(mm);
}

// One list item per timer: its title, then when it records ("Fri 11/12 20:15"
// for a one-off, "Mon-Fri 20:15" for a repeat).
std::string itemsOf(const DeleteConfirmation& confirmation) {
  std::string items;
  for (const ScheduleRow* row : confirmation.timers) {
    items += "<li><strong>";
    items += quibHtmlEscape(readableTitle(row->title));
    items += "</strong> <span class=\"hint\">";
    if (row->date == kRepeatOnce) {
      items += momentLabel(row->timestampStart);
    } else {
      const bool labelled = row->date >= 0 && row->date < 12;
      if (labelled) items += textOf(web_sched_week[row->date]);
      items += labelled ? " " : "";
      items += clockText(row->hh, row->mm);
    }
    items += "</span></li>\n";
  }
  return items;
}

// The keys the confirmation deletes, as the list's form sends them.
std::string keysOf(const DeleteConfirmation& confirmation) {
  std::string keys;
  for (const ScheduleRow* row : confirmation.timers) {
    keys += "<input type=\"hidden\" name=\"key\" value=\"";
    keys += std::to_string(row->id);
    keys += "\">\n";
  }
  return keys;
}

}  // namespace

void displayDeleteConfirmation(const DeleteConfirmation& confirmation) {
  const std::string token = quibNewFormToken().value_or("");
  quibPrintHttpHeader();
  const std::string id = confirmation.sessionId ? quibHtmlEscape(*confirmation.sessionId) : "";
  std::string selfUrl = "skedra.cgi";
  if (confirmation.sessionId) selfUrl += "?quibsession=" + id;
  const auto count = static_cast<int32_t>(confirmation.timers.size());
  const std::string title = countText(Text::kConfirmDeleteTitle, count);
  const std::string button = countText(Text::kConfirmDeleteButton, count);
  const std::string items = itemsOf(confirmation);
  const std::string keys = keysOf(confirmation);

  TemplateContext context;
  context.directives = 1;
  context.texts = textOfName;
  context.processor = nullptr;
  ElementList list = strelem("sessionId", id, nullptr);
  list = strelem("formtoken", token, std::move(list));
  list = strelem("selfUrl", selfUrl, std::move(list));
  list = strelem("sortNext", confirmation.sortNext ? kSortNext : "", std::move(list));
  list = strelem("confirmTitle", title, std::move(list));
  list = strelem("confirmButton", button, std::move(list));
  list = strelem("confirmItems", items, std::move(list));
  list = strelem("confirmKeys", keys, std::move(list));
  list = langElement(std::move(list));
  context.elements = std::move(list);
  readTextFile(kConfirmTemplate, &context, printSimpleText);
  disposeElems(std::move(context.elements));
}
