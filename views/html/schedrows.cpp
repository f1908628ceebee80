// The table of timers: one expansion of the row template per row of the
// firmware's timer table, and the edit form's variables after the table.
#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "model/occurrences.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "store/timer_db.h"
#include "store/timer_rows.h"
#include "views/html/list_checks.h"
#include "views/html/list_screen.h"
#include "views/html/options.h"
#include "views/html/schedrows.h"
#include "views/html/timer_texts.h"

namespace {

// The end of the page's read transaction, once the rows are in memory.
constexpr int kSiteReadEnd = 56;

constexpr std::string_view kChecked = "checked=\"checked\" ";
constexpr std::string_view kUnchecked = "";

// Shown in the title cell of the timer that the form below is editing.
std::string editingBadge() {
  return "<span class=\"badge\">" + std::string(textOf(Text::kEditing)) + "</span>";
}

// The values derived from a row for display.
struct RowTimes {
  int32_t prepad = 0;   // minutes
  int32_t postpad = 0;  // minutes
  int32_t ehh = 0;
  int32_t emm = 0;
  int32_t fhours = 0;
  int32_t fmins = 0;
  int32_t endDays = 0;      // local days from the start's date to the end's
  int64_t windowStart = 0;  // the recording's start, margin included
};

// Booking arithmetic is 32-bit as on the recorder: sums and differences wrap
// instead of overflowing.
int32_t add32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t sub32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
int32_t mul32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// The row's start as local time, read exactly as the timer write read it
// (unwrapped); local gets the start's local date and time.
int64_t localStart(const ScheduleRow& row, std::tm& local) {
  local = std::tm{};
  local.tm_year = sub32(row.year, 1900);
  local.tm_mon = sub32(row.month, 1);
  local.tm_mday = row.day;
  local.tm_hour = row.hh;
  local.tm_min = row.mm;
  local.tm_sec = 0;
  return localTimeInstant(local);
}

// Calendar days from the date of a to the date of b (both local).
int32_t daysBetween(const std::tm& a, const std::tm& b) {
  // Days since a fixed origin of the proleptic Gregorian calendar.
  auto dayNumber = [](const std::tm& t) {
    const int64_t year = int64_t{t.tm_year} + 1900;
    const int64_t before = year - 1;
    return before * 365 + before / 4 - before / 100 + before / 400 + t.tm_yday;
  };
  return static_cast<int32_t>(dayNumber(b) - dayNumber(a));
}

// The row's start read as local time, once for the row's times and its
// recording windows.
struct RowStart {
  int64_t instant = 0;
  int32_t seconds = 0;  // instant wrapped to 32 bits, as the timer write stores it
  std::tm local{};      // the start's local date and time
};

RowStart readStart(const ScheduleRow& row) {
  RowStart start;
  start.instant = localStart(row, start.local);
  start.seconds = static_cast<int32_t>(static_cast<uint32_t>(start.instant));
  return start;
}

RowTimes deriveTimes(const ScheduleRow& row, const RowStart& rowStart) {
  RowTimes times;
  const std::tm& first = rowStart.local;
  const int32_t start = rowStart.seconds;
  const int32_t length = add32(mul32(row.hours, 3600), mul32(row.mins, 60));
  // The margin in 32 bits: the same whether timestamp_start was stored
  // wrapped or in full.
  const int32_t prepadSeconds = sub32(start, static_cast<int32_t>(row.timestampStart));
  times.prepad = prepadSeconds / 60;
  times.postpad = sub32(sub32(row.timestampOffset, length) / 60, times.prepad);
  times.windowStart = rowStart.instant - prepadSeconds;
  // The end in 64 bits, so a row past the 32-bit range lists the same on
  // every build.
  const std::tm local = localFields(rowStart.instant + length, ZoneOffsets{});
  times.ehh = local.tm_hour;
  times.emm = local.tm_min;
  times.endDays = daysBetween(first, local);
  times.fhours = row.timestampOffset / 3600;
  times.fmins = (row.timestampOffset % 3600) / 60;
  return times;
}

void appendDecimal(std::string& text, int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.append(buffer, static_cast<size_t>(result.ptr - buffer));
}

// The date as "%d/%02d/%d" writes it: "4/03/2025".
void appendDate(std::string& text, const ScheduleRow& row) {
  appendDecimal(text, row.day);
  text += '/';
  if (row.month >= 0 && row.month < 10) text += '0';
  appendDecimal(text, row.month);
  text += '/';
  appendDecimal(text, row.year);
}

// "4/03/2025" for a single recording, the repeat label for codes 1 to 11,
// "[20] 4/03/2025" for any other code.
std::string dayLabel(const ScheduleRow& row) {
  if (row.date >= 1 && row.date <= 11) return std::string(textOf(web_sched_week[row.date]));
  std::string label;
  if (row.date != 0) {
    label += '[';
    appendDecimal(label, row.date);
    label += "] ";
  }
  appendDate(label, row);
  return label;
}

// "AV" for the external input, the channel file's label for a known channel,
// else the bare number in angle brackets.
std::string channelLabel(int16_t channel) {
  if (channel == -1) return std::string(textOf(Text::kChannelAV));
  if (const Channel* known = getChannelByNo(channel)) return sprintfChannelLabel(*known);
  std::string number;
  appendDecimal(number, channel);
  return textWith(Text::kUnknownChannel, {number});
}

// The recording's start in local time, as the C library's ctime writes it
// ("Tue Mar  4 20:10:00 2025" and a newline), from the time value in 64 bits
// (a 32-bit time_t cannot hold one past 2038).
std::string ctimeText(int64_t instant) {
  return timestampText(localFields(instant, ZoneOffsets{}));
}

// The context's list with chain hung behind its tail; returns the Element
// behind which the chain hangs (null when the list was empty).
Element* appendChain(TemplateContext* context, ElementList chain) {
  if (!context->elements) {
    context->elements = std::move(chain);
    return nullptr;
  }
  Element* last = getLastElem(context->elements.get());
  last->next = std::move(chain);
  return last;
}

// Cuts the list back to what it was before appendChain and releases the cut.
void cutChain(TemplateContext* context, Element* last) {
  if (last != nullptr) {
    disposeElems(std::move(last->next));
  } else {
    disposeElems(std::move(context->elements));
  }
}

// The three templates of a row, parsed once for the whole table.
struct RowTemplates {
  QuibTemplate row;
  QuibTemplate checkbox;
  QuibTemplate titlink;
};

// Renders one timer row (row counter n) and copies it into the form when it
// is the timer being edited. checks holds the row's Elements of the list
// checks ("nextrec", then "conflict"), made once for the table: they go in
// front of the row's own, where a lookup from the head finds them first, and
// come back to checks afterwards.
void renderRow(const ScheduleRow& row, const RowStart& start, int n, ElementList& checks,
               const RowTemplates& templates, TemplateContext* context, ScreenState& state) {
  const int16_t channel = row.source == kSourceAV ? int16_t{-1} : row.channel;
  const RowTimes times = deriveTimes(row, start);
  // Texts the row's Elements borrow; they outlive the row's expansion.
  const std::string timerday = dayLabel(row);
  const std::string label = quibHtmlEscape(channelLabel(channel));
  const std::string timestamp = ctimeText(times.windowStart);
  const std::string showtitle = quibHtmlEscape(row.title);
  std::string rowtick;
  std::string titlink;
  const bool editing = state.command != createCmd && row.id == state.editKey;
  const std::string badge = editing ? editingBadge() : std::string();
  // "+1" when the recording ends on the next day, "+2" the day after, ...
  const std::string endDays = times.endDays > 0 ? "+" + std::to_string(times.endDays) : "";

  // Built from the tail so that the chain reads "titlink" ... "rowBadge".
  ElementList chain = strelem("rowBadge", badge, nullptr);
  chain = strelem("rowMark", editing ? " editing" : "", std::move(chain));
  chain = strelem("endDays", endDays, std::move(chain));
  chain = strelem("target", textOf(row.target != 0 ? Text::kTargetUsb : Text::kTargetHdd),
                  std::move(chain));
  chain = strelem("showtitle", showtitle, std::move(chain));
  chain = strelem("timestamp", timestamp, std::move(chain));
  chain = intelem("postpad", times.postpad, std::move(chain));
  chain = intelem("prepad", times.prepad, std::move(chain));
  chain = intelem("fmins", times.fmins, std::move(chain));
  chain = intelem("mins", row.mins, std::move(chain));
  chain = intelem("fhours", times.fhours, std::move(chain));
  chain = intelem("hours", row.hours, std::move(chain));
  chain = intelem("emm", times.emm, std::move(chain));
  // The start as read: a time that the spring change skips lists as the
  // time it moved to, so start and end make one span.
  chain = intelem("mm", start.local.tm_min, std::move(chain));
  chain = intelem("ehh", times.ehh, std::move(chain));
  chain = intelem("hh", start.local.tm_hour, std::move(chain));
  chain = strelem("timerday", timerday, std::move(chain));
  chain = strelem("channel", label, std::move(chain));
  chain = strelem("dot", row.enable != 0 ? "disabled" : "enabled", std::move(chain));
  chain = strelem("parity", n % 2 != 0 ? "odd" : "even", std::move(chain));
  chain = intelem("id", row.id, std::move(chain));
  chain = strelem("rowtick", "", std::move(chain));
  chain = strelem("titlink", "", std::move(chain));
  Element* titlinkElement = chain.get();
  Element* rowtickElement = chain->next.get();
  Element* lastCheck = checks->next.get();
  lastCheck->next = std::move(chain);
  chain = std::move(checks);
  Element* last = appendChain(context, std::move(chain));

  if (row.lock == 0) {
    // Expanded over the whole list, so both can use the row's variables and
    // the page's own (such as the self link).
    rowtick = applyTemplate(templates.checkbox, context->elements);
    rowtickElement->text = rowtick;
    titlink = applyTemplate(templates.titlink, context->elements);
    titlinkElement->text = titlink;
  } else {
    titlinkElement->text = showtitle;
  }

  quibExpandTemplate(templates.row, context, printSimpleText);
  ElementList& rowHead = last != nullptr ? last->next : context->elements;
  checks = std::move(rowHead);
  rowHead = std::move(lastCheck->next);
  cutChain(context, last);

  if (row.id == state.editKey) {
    TimerForm& form = state.form;
    form.id = row.id;
    form.channel = channel;
    form.day = row.day;
    form.month = row.month;
    form.year = row.year;
    form.hh = row.hh;
    form.mm = row.mm;
    form.hours = row.hours;
    form.mins = row.mins;
    form.repeat = row.date;
    form.prepad = times.prepad;
    form.postpad = times.postpad;
    form.title = row.title;
    form.quality = row.quality;
    form.target = row.target;
    form.enable = row.enable;
    form.lock = row.lock;
  }
}

// Puts the edit form's variables in front of the context's list, "key" at
// the head, so every directive after the table sees them.
void publishForm(TemplateContext* context, ScreenState& state) {
  const TimerForm& form = state.form;
  // The escaped title lives as long as the page's Elements do.
  state.pageTexts.push_front(quibHtmlEscape(form.title));
  const std::string& title = state.pageTexts.front();
  ElementList list = std::move(context->elements);
  list = intelem("tfRepeat", form.repeat, std::move(list));
  list = intelem("tfPostpad", form.postpad, std::move(list));
  list = intelem("tfPrepad", form.prepad, std::move(list));
  list = intelem("tfMins", form.mins, std::move(list));
  list = intelem("tfHours", form.hours, std::move(list));
  list = intelem("tfMm", form.mm, std::move(list));
  list = intelem("tfHh", form.hh, std::move(list));
  list = intelem("tfYear", form.year, std::move(list));
  list = intelem("tfMonth", form.month, std::move(list));
  list = intelem("tfDay", form.day, std::move(list));
  list = strelem("tfDisabledNo", form.enable != 0 ? kChecked : kUnchecked, std::move(list));
  list = strelem("tfDisabledYes", form.enable != 0 ? kUnchecked : kChecked, std::move(list));
  list = strelem("tfTargetUSB", form.target != 0 ? kChecked : kUnchecked, std::move(list));
  list = strelem("tfTargetHDD", form.target != 0 ? kUnchecked : kChecked, std::move(list));
  list = strelem("tfQualSP", form.quality != 0 ? kUnchecked : kChecked, std::move(list));
  list = strelem("tfQualHQ", form.quality != 0 ? kChecked : kUnchecked, std::move(list));
  list = strelem("tfTitle", title, std::move(list));
  list = intelem("key", state.editKey, std::move(list));
  context->elements = std::move(list);
}

}  // namespace

// Renders the timer table from the row template at path, then publishes the
// edit form's variables for the rest of the page.
void execSchedrows(std::string_view path, TemplateContext* context) {
  assert(context != nullptr && context->userData != nullptr);
  ScreenState& state = *static_cast<ScreenState*>(context->userData);
  const RowTemplates templates{quibParseTemplate(loadFile(std::string(path))),
                               quibParseTemplate(loadFile("checkbox.shtml")),
                               quibParseTemplate(loadFile("titlink.shtml"))};

  // Every row is in memory before anything is rendered: the list screen
  // reads them before its page, a table of its own reads them here.
  if (!state.rows) state.rows = readTimerRows();
  endTimerRead(kSiteReadEnd);
  // Nothing after the read can fail: the rest of the page, the longest part,
  // goes out as it is made.
  quibStreamResponse();
  const std::vector<ScheduleRow>& rows = *state.rows;
  std::vector<RowStart> starts;
  std::vector<TimerSchedule> timers;
  std::vector<std::string_view> titles;
  starts.reserve(rows.size());
  timers.reserve(rows.size());
  titles.reserve(rows.size());
  for (const ScheduleRow& row : rows) {
    starts.push_back(readStart(row));
    timers.push_back(timingOf(row));
    timers.back().start = LocalStart{starts.back().seconds, starts.back().local.tm_wday};
    titles.push_back(row.title);
  }
  const ListChecks checks = listChecks(timers, titles, state.sortNext, requestNow());
  ElementList checkElements = strelem("nextrec", "", strelem("conflict", "", nullptr));
  int n = 0;
  for (const size_t index : checks.order) {
    checkElements->text = checks.nextrec[index];
    checkElements->next->text = checks.conflict[index];
    renderRow(rows[index], starts[index], n++, checkElements, templates, context, state);
  }
  // After the table, like the form's variables (which stay at the head):
  // the page's overlap count.
  state.pageTexts.push_front(checks.conflicts);
  context->elements = strelem("conflicts", state.pageTexts.front(), std::move(context->elements));
  if (state.entered) state.form = *state.entered;
  publishForm(context, state);
}

std::string applyTemplate(std::string_view text, ElementList& elements) {
  return applyTemplate(quibParseTemplate(text), elements);
}

// Lends the list to a private context whose sink collects the expansion,
// then hands the list back unchanged.
std::string applyTemplate(const QuibTemplate& parsed, ElementList& elements) {
  std::string result;
  TemplateContext context;
  context.elements = std::move(elements);
  context.directives = 1;
  context.processor = nullptr;
  context.userData = &result;
  quibExpandTemplate(parsed, &context, loadLines);
  elements = std::move(context.elements);
  return result;
}
