// The table of timers: one expansion of the row template per row of the
// firmware's timer table, and the edit form's variables after the table.
#include <array>
#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/occurrences.h"
#include "model/picked_times.h"
#include "model/repeat.h"
#include "model/row_times.h"
#include "model/timer.h"
#include "platform/local_time.h"
#include "platform/time_arith.h"
#include "texts/catalogue.h"
#include "views/html/list_checks.h"
#include "views/html/list_screen.h"
#include "views/html/options.h"
#include "views/html/schedrows.h"
#include "views/html/timer_texts.h"

namespace {

constexpr std::string_view kChecked = "checked=\"checked\" ";
constexpr std::string_view kUnchecked = "";

// Shown in the title cell of the timer that the form below is editing.
std::string editingBadge() {
  return "<span class=\"badge\">" + std::string(textOf(Text::kEditing)) + "</span>";
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
void setDayLabel(std::string& label, const ScheduleRow& row) {
  label.clear();
  if (hasPattern(row.date)) {
    label = textOf(web_sched_week[row.date]);
    return;
  }
  if (row.date != 0) {
    label += '[';
    appendDecimal(label, row.date);
    label += "] ";
  }
  appendDate(label, row);
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

// Two digits of a value from 0 to 99.
void appendTwoDigits(std::string& text, int value) {
  text += static_cast<char>('0' + value / 10);
  text += static_cast<char>('0' + value % 10);
}

// The recording's start in local time, as the C library's ctime writes it
// ("Tue Mar  4 20:10:00 2025" and a newline), from the local fields of the
// time value in 64 bits (a 32-bit time_t cannot hold one past 2038). Written by hand for the
// fields that ctime's fixed layout covers, through strftime otherwise.
void setCtimeText(std::string& text, const std::tm& local) {
  text.clear();
  const int64_t year = int64_t{local.tm_year} + 1900;
  if (local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 || local.tm_mon > 11 ||
      year < 1000 || year > 9999) {
    text = timestampText(local);
    return;
  }
  text.append(englishWeekdayName(local.tm_wday));
  text += ' ';
  text.append(englishMonthName(local.tm_mon));
  text += ' ';
  if (local.tm_mday < 10) {
    text += ' ';
    text += static_cast<char>('0' + local.tm_mday);
  } else {
    appendTwoDigits(text, local.tm_mday);
  }
  text += ' ';
  appendTwoDigits(text, local.tm_hour);
  text += ':';
  appendTwoDigits(text, local.tm_min);
  text += ':';
  appendTwoDigits(text, local.tm_sec);
  text += ' ';
  appendDecimal(text, static_cast<int32_t>(year));
  text += '\n';
}

// The recording's start as the page writes days: "Fri 11/12/2026 20:00".
void setStartsAtText(std::string& text, const std::tm& local) {
  text.clear();
  std::string year;
  appendDecimal(year, wrap32(int64_t{local.tm_year} + 1900));
  appendMoment(text, Text::kStartsAtFormat, local, year);
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

// The variables of a row, in the order in which a lookup finds them behind
// the page's own: the list checks first, then the row's values.
enum RowSlot : size_t {
  kNextrec,
  kConflict,
  kTitlink,
  kRowtick,
  kId,
  kParity,
  kDot,
  kChannel,
  kTimerday,
  kHh,
  kEhh,
  kMm,
  kEmm,
  kHours,
  kFhours,
  kMins,
  kFmins,
  kPrepad,
  kPostpad,
  kTimestamp,
  kShowtitle,
  kTarget,
  kEndDays,
  kRowMark,
  kRowBadge,
  kState,
  kStateText,
  kDayLabel,
  kStartsAt,
  kRowSlots
};

struct RowVariable {
  std::string_view name;
  int32_t kind;
};

constexpr RowVariable kRowVariables[kRowSlots] = {
    {"nextrec", kElementText},  {"conflict", kElementText},  {"titlink", kElementText},
    {"rowtick", kElementText},  {"id", kElementInt},         {"parity", kElementText},
    {"dot", kElementText},      {"channel", kElementText},   {"timerday", kElementText},
    {"hh", kElementInt},        {"ehh", kElementInt},        {"mm", kElementInt},
    {"emm", kElementInt},       {"hours", kElementInt},      {"fhours", kElementInt},
    {"mins", kElementInt},      {"fmins", kElementInt},      {"prepad", kElementInt},
    {"postpad", kElementInt},   {"timestamp", kElementText}, {"showtitle", kElementText},
    {"target", kElementText},   {"endDays", kElementText},   {"rowMark", kElementText},
    {"rowBadge", kElementText}, {"state", kElementText},     {"stateText", kElementText},
    {"dayLabel", kElementText}, {"startsAt", kElementText},
};

// The three templates of a row, parsed once for the whole table.
struct RowTemplates {
  QuibTemplate row;
  QuibTemplate checkbox;
  QuibTemplate titlink;
};

// Renders the rows of one table. The row's variables are a fixed array of
// Elements whose values change in place from row to row; the templates are
// bound to them (and to the page's variables, which come first) once, and
// the rows are written straight into the response. Templates that include
// other files need a context: they are expanded through the engine with the
// row's variables hung behind the page's list, one row at a time.
class RowRenderer {
 public:
  RowRenderer(RowTemplates templates, TemplateContext* context)
      : templates_(std::move(templates)), context_(context) {
    for (size_t slot = 0; slot < kRowSlots; ++slot) {
      vars_[slot].name = kRowVariables[slot].name;
      vars_[slot].kind = kRowVariables[slot].kind;
    }
    bound_ = !quibHasInclude(templates_.row) && !quibHasInclude(templates_.checkbox) &&
             !quibHasInclude(templates_.titlink);
    if (bound_) {
      const Element* page = context->elements.get();
      row_ = quibBindTemplate(templates_.row, page, vars_.data(), kRowSlots);
      checkbox_ = quibBindTemplate(templates_.checkbox, page, vars_.data(), kRowSlots);
      titlinkBinding_ = quibBindTemplate(templates_.titlink, page, vars_.data(), kRowSlots);
    }
  }

  // Renders one timer row (row counter n) with its list checks.
  void render(const ScheduleRow& row, const RowStart& start, int n, std::string_view nextrec,
              std::string_view conflict, bool past, bool editing) {
    const int16_t channel = row.source == kSourceAV ? int16_t{-1} : row.channel;
    const RowTimes times = deriveTimes(row, start);
    setDayLabel(timerday_, row);
    // A single recording's date with its weekday, as the language writes
    // days: "Fri 11/12/2026"; a stored date that is no calendar date as the
    // firmware has it.
    dayLabel_.clear();
    if (row.date == kRepeatOnce && row.day >= 1 && row.day <= 31 && row.month >= 1 &&
        row.month <= 12) {
      std::tm day{};
      day.tm_mday = row.day;
      day.tm_mon = row.month - 1;
      day.tm_wday = start.local.tm_wday;
      std::string year;
      appendDecimal(year, row.year);
      appendMoment(dayLabel_, Text::kDayFormat, day, year);
    } else {
      if (row.date == kRepeatOnce) {
        dayLabel_ = weekdayName(start.local.tm_wday);
        dayLabel_ += ' ';
      }
      dayLabel_ += timerday_;
    }
    const std::tm windowStart = localFields(times.windowStart, ZoneOffsets{});
    setCtimeText(timestamp_, windowStart);
    setStartsAtText(startsAt_, windowStart);
    showtitle_.clear();
    quibHtmlEscapeTo(row.title, showtitle_);
    // "+1" when the recording ends on the next day, "+2" the day after, ...
    endDays_.clear();
    if (times.endDays > 0) {
      endDays_ += '+';
      appendDecimal(endDays_, times.endDays);
    }
    text(kNextrec, nextrec);
    text(kConflict, conflict);
    text(kTitlink, "");
    text(kRowtick, "");
    number(kId, row.id);
    text(kParity, n % 2 != 0 ? "odd" : "even");
    text(kDot, row.enable != 0 ? "disabled" : "enabled");
    text(kChannel, escapedChannelLabel(channel));
    text(kTimerday, timerday_);
    // The start as read: a time that the spring change skips lists as the
    // time it moved to, so start and end make one span.
    number(kHh, start.local.tm_hour);
    number(kEhh, times.ehh);
    number(kMm, start.local.tm_min);
    number(kEmm, times.emm);
    number(kHours, row.hours);
    number(kFhours, times.fhours);
    number(kMins, row.mins);
    number(kFmins, times.fmins);
    number(kPrepad, times.prepad);
    number(kPostpad, times.postpad);
    text(kTimestamp, timestamp_);
    text(kShowtitle, showtitle_);
    text(kTarget, textOf(row.target != 0 ? Text::kTargetUsb : Text::kTargetHdd));
    text(kEndDays, endDays_);
    text(kRowMark, editing ? " editing" : "");
    text(kRowBadge, editing ? std::string_view(badge_) : std::string_view());
    // A timer that will never record again is past, switched on or off.
    text(kState, past ? "past" : row.enable != 0 ? "disabled" : "enabled");
    text(kStateText, textOf(past              ? Text::kStatusPast
                            : row.enable != 0 ? Text::kStatusDisabled
                                              : Text::kStatusEnabled));
    text(kDayLabel, dayLabel_);
    text(kStartsAt, startsAt_);
    if (bound_) {
      renderBound(row.lock == 0);
    } else {
      renderThroughList(row.lock == 0);
    }
  }

 private:
  void text(RowSlot slot, std::string_view value) { vars_[slot].text = value; }
  void number(RowSlot slot, int32_t value) { vars_[slot].number = value; }

  // "rowtick" and "titlink": the checkbox and the title link, expanded with
  // both still empty, for a row that is not locked; "" and the plain title
  // for a locked one.
  void renderBound(bool unlocked) {
    if (unlocked) {
      rowtick_.clear();
      quibExpandBound(templates_.checkbox, checkbox_, rowtick_);
      titlink_.clear();
      quibExpandBound(templates_.titlink, titlinkBinding_, titlink_);
      text(kRowtick, rowtick_);
      text(kTitlink, titlink_);
    } else {
      text(kTitlink, showtitle_);
    }
    quibExpandBound(templates_.row, row_, quibOutBuffer());
    quibOutAppended();
  }

  // The same through the engine: the row's variables as Elements behind the
  // tail of the context's list while the templates are expanded.
  void renderThroughList(bool unlocked) {
    if (unlocked) {
      Element* last = appendChain(context_, rowElements());
      rowtick_ = applyTemplate(templates_.checkbox, context_->elements);
      titlink_ = applyTemplate(templates_.titlink, context_->elements);
      cutChain(context_, last);
      text(kRowtick, rowtick_);
      text(kTitlink, titlink_);
    } else {
      text(kTitlink, showtitle_);
    }
    Element* last = appendChain(context_, rowElements());
    quibExpandTemplate(templates_.row, context_, printSimpleText);
    cutChain(context_, last);
  }

  ElementList rowElements() const {
    ElementList chain;
    for (size_t slot = kRowSlots; slot-- > 0;) {
      const Element& var = vars_[slot];
      chain = var.kind == kElementInt ? intelem(var.name, var.number, std::move(chain))
                                      : strelem(var.name, var.text, std::move(chain));
    }
    return chain;
  }

  // The escaped label of a channel, made once per channel and page.
  const std::string& escapedChannelLabel(int16_t channel) {
    const auto found = channels_.find(channel);
    if (found != channels_.end()) return found->second;
    return channels_.emplace(channel, quibHtmlEscape(channelLabel(channel))).first->second;
  }

  RowTemplates templates_;
  TemplateContext* context_;
  std::array<Element, kRowSlots> vars_;
  bool bound_ = false;
  QuibBinding row_, checkbox_, titlinkBinding_;
  std::string timerday_, dayLabel_, timestamp_, startsAt_, showtitle_, endDays_, rowtick_, titlink_;
  // The badge of the row being edited, made once for the table.
  const std::string badge_ = editingBadge();
  std::map<int16_t, std::string> channels_;
};

// Copies the row into the edit form.
void copyToForm(const ScheduleRow& row, const RowTimes& times, TimerForm& form) {
  form.id = row.id;
  form.channel = row.source == kSourceAV ? int16_t{-1} : row.channel;
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

// Puts the edit form's variables in front of the context's list, "key" at
// the head, so every directive after the table sees them.
void publishForm(TemplateContext* context, ScreenState& state) {
  const TimerForm& form = state.form;
  // The escaped title lives as long as the page's Elements do.
  state.pageTexts.push_front(quibHtmlEscape(form.title));
  const std::string& title = state.pageTexts.front();
  // The date and time pickers' values: the start, and the local time at
  // which its length ends, as the table shows it.
  state.pageTexts.push_front(pickerDate(form.year, form.month, form.day));
  const std::string& date = state.pageTexts.front();
  state.pageTexts.push_front(pickerTime(int64_t{form.hh} * 60 + form.mm));
  const std::string& start = state.pageTexts.front();
  TimerValues timing;
  timing.year = form.year, timing.month = form.month, timing.day = form.day;
  timing.hh = form.hh, timing.mm = form.mm, timing.hours = form.hours, timing.mins = form.mins;
  state.pageTexts.push_front(pickerEnd(timing));
  const std::string& end = state.pageTexts.front();
  ElementList list = std::move(context->elements);
  list = strelem("tfEnd", end, std::move(list));
  list = strelem("tfStart", start, std::move(list));
  list = strelem("tfDate", date, std::move(list));
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
  RowTemplates templates{quibParseTemplate(loadFile(std::string(path)), context->texts),
                         quibParseTemplate(loadFile("checkbox.shtml"), context->texts),
                         quibParseTemplate(loadFile("titlink.shtml"), context->texts)};

  // Every row was read before the page began: nothing after this can fail,
  // so the rest of the page, the longest part, goes out as it is made.
  quibStreamResponse();
  const std::vector<ScheduleRow>& rows = state.rows;
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
  RowRenderer renderer(std::move(templates), context);
  int n = 0;
  for (const size_t index : checks.order) {
    const ScheduleRow& row = rows[index];
    const bool editing = state.command != createCmd && row.id == state.editKey;
    renderer.render(row, starts[index], n++, checks.nextrec[index], checks.conflict[index],
                    checks.past[index], editing);
    if (row.id == state.editKey) copyToForm(row, deriveTimes(row, starts[index]), state.form);
  }
  // After the table, like the form's variables (which stay at the head):
  // the page's overlap count and the links to the overlapping rows.
  state.pageTexts.push_front(checks.conflicts);
  context->elements = strelem("conflicts", state.pageTexts.front(), std::move(context->elements));
  state.pageTexts.push_front(checks.conflictLinks);
  context->elements =
      strelem("conflictLinks", state.pageTexts.front(), std::move(context->elements));
  if (state.entered) state.form = *state.entered;
  publishForm(context, state);
}

std::string applyTemplate(std::string_view text, ElementList& elements) {
  return applyTemplate(quibParseTemplate(text, textOfName), elements);
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
