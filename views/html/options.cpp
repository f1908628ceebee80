// The timer form's two option lists (repeat and channel), the channel labels
// that the timer table shares with them, and the helpers that load templates
// into memory.
#include "views/html/options.h"

#include <array>
#include <cassert>
#include <charconv>
#include <cstdio>
#include <string>
#include <utility>
#include "texts/catalogue.h"
#include "views/html/list_screen.h"

const Text web_sched_week[12] = {
    Text::kRepeatOnce,    Text::kRepeatEveryday, Text::kRepeatMonFri, Text::kRepeatMonSat,
    Text::kRepeatWeekend, Text::kRepeatSun,      Text::kRepeatMon,    Text::kRepeatTue,
    Text::kRepeatWed,     Text::kRepeatThu,      Text::kRepeatFri,    Text::kRepeatSat,
};

const char* const channelAV = "AV";

namespace {

// Name of the marker variable and its two values.
constexpr std::string_view const_selected = "selected";
constexpr std::string_view selected = " selected=\"selected\"";
constexpr std::string_view blank = "";

// The screen state that the list screen keeps in the context's user data.
const ScreenState& screenState(const TemplateContext* context) {
  assert(context != nullptr && context->userData != nullptr);
  return *static_cast<const ScreenState*>(context->userData);
}

// Hangs chain behind lastElement (or makes it the whole list when the list is
// empty), expands templateText to the response, then releases the chain so
// that the context's list is exactly as before.
void expandWithTail(const QuibTemplate& parsed, TemplateContext* context, Element* lastElement,
                    ElementList chain) {
  if (lastElement != nullptr) {
    assert(!lastElement->next);
    lastElement->next = std::move(chain);
    quibExpandTemplate(parsed, context, printSimpleText);
    disposeElems(std::move(lastElement->next));
  } else {
    assert(!context->elements);
    context->elements = std::move(chain);
    quibExpandTemplate(parsed, context, printSimpleText);
    disposeElems(std::move(context->elements));
  }
}

// Last Element of the context's list, or null when the list is empty.
Element* lastElementOf(TemplateContext* context) {
  return context->elements ? getLastElem(context->elements.get()) : nullptr;
}

// One option of the channel list from its parsed template; nameFirst is
// the label that begins with the channel's name ("chlabel").
void channelOption(const QuibTemplate& parsed, TemplateContext* context, Element* lastElement,
                   int32_t value, bool isSelected, std::string_view label,
                   std::string_view nameFirst) {
  const std::string escapedLabel = quibHtmlEscape(label);
  const std::string escapedNameFirst = quibHtmlEscape(nameFirst);
  ElementList channelValue =
      value < 0 ? strelem("channel", channelAV, nullptr) : intelem("channel", value, nullptr);
  ElementList chain =
      strelem(const_selected, isSelected ? selected : blank,
              strelem("chaname", escapedLabel,
                      strelem("chlabel", escapedNameFirst, std::move(channelValue))));
  expandWithTail(parsed, context, lastElement, std::move(chain));
}

}  // namespace

// The repeat list: codes 0 to 11 in order. Code 0 ("Once") is never marked:
// the browser shows the first option anyway.
void printRepeatOptions(std::string_view path, TemplateContext* context) {
  const int32_t formRepeat = screenState(context).form.repeat;
  const QuibTemplate parsed = quibParseTemplate(loadFile(std::string(path)), context->texts);
  Element* lastElement = lastElementOf(context);
  for (int32_t code = 0; code < 12; ++code) {
    const bool isSelected = formRepeat != 0 && formRepeat == code;
    ElementList chain = intelem("repeat", code,
                                strelem(const_selected, isSelected ? selected : blank,
                                        strelem("repname", textOf(web_sched_week[code]), nullptr)));
    expandWithTail(parsed, context, lastElement, std::move(chain));
  }
}

// The channel list: the external input first, then every channel of the
// channel file in file order; a channel is marked when its number equals the
// form's channel (both signed 16-bit).
void printChannelOptions(std::string_view path, TemplateContext* context) {
  const int16_t formChannel = screenState(context).form.channel;
  const Channel* channels = getChannels();
  const QuibTemplate parsed = quibParseTemplate(loadFile(std::string(path)), context->texts);
  if (quibHasInclude(parsed)) {
    // An include runs with the context: each option's Elements go behind
    // the tail of its list.
    Element* lastElement = lastElementOf(context);
    channelOption(parsed, context, lastElement, -1, formChannel == -1, textOf(Text::kChannelAV),
                  textOf(Text::kChannelAV));
    for (const Channel* channel = channels; channel != nullptr; channel = channel->next) {
      std::string nameFirst;
      appendNameFirstLabel(nameFirst, *channel);
      channelOption(parsed, context, lastElement, channel->number, channel->number == formChannel,
                    sprintfChannelLabel(*channel), nameFirst);
    }
    return;
  }
  // The option's variables change in place behind the page's own, to which
  // the template is bound once; the options go straight into the response.
  std::array<Element, 4> option;
  option[0].name = const_selected;
  option[0].kind = kElementText;
  option[1].name = "chaname";
  option[1].kind = kElementText;
  option[2].name = "channel";
  option[3].name = "chlabel";
  option[3].kind = kElementText;
  const QuibBinding binding =
      quibBindTemplate(parsed, context->elements.get(), option.data(), option.size());
  std::string label, escapedLabel, nameFirst, escapedNameFirst;
  // A negative value (the external input's -1) is written as "AV".
  const auto write = [&](int32_t value, bool isSelected) {
    escapedLabel.clear();
    quibHtmlEscapeTo(label, escapedLabel);
    escapedNameFirst.clear();
    quibHtmlEscapeTo(nameFirst, escapedNameFirst);
    option[0].text = isSelected ? selected : blank;
    option[1].text = escapedLabel;
    option[2].kind = value < 0 ? kElementText : kElementInt;
    option[2].text = channelAV;
    option[2].number = value;
    option[3].text = escapedNameFirst;
    quibExpandBound(parsed, binding, quibOutBuffer());
    quibOutAppended();
  };
  label = textOf(Text::kChannelAV);
  nameFirst = label;
  write(-1, formChannel == -1);
  for (const Channel* channel = channels; channel != nullptr; channel = channel->next) {
    label.clear();
    appendChannelLabel(label, *channel);
    nameFirst.clear();
    appendNameFirstLabel(nameFirst, *channel);
    write(channel->number, channel->number == formChannel);
  }
}

// One option of the channel list. The label is data from the channel file and
// is HTML-escaped here, where it becomes a template variable.
void printChannelOption(std::string_view templateText, TemplateContext* context,
                        Element* lastElement, int32_t value, bool isSelected,
                        std::string_view label) {
  channelOption(quibParseTemplate(templateText, context->texts), context, lastElement, value,
                isSelected, label, label);
}

// "9 Sport" when both numbers agree, "5 News (105)" otherwise; the numbers
// are the signed 16-bit values of the channel file.
std::string sprintfChannelLabel(const Channel& channel) {
  std::string label;
  appendChannelLabel(label, channel);
  return label;
}

void appendChannelLabel(std::string& label, const Channel& channel) {
  const int number = channel.number;
  const int altNumber = channel.altNumber;
  char digits[16];
  label.append(digits, static_cast<size_t>(
                           std::to_chars(digits, digits + sizeof digits, number).ptr - digits));
  label += ' ';
  label += channel.name != nullptr ? channel.name : "";
  if (altNumber != number) {
    label += " (";
    label.append(
        digits,
        static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, altNumber).ptr - digits));
    label += ')';
  }
}

// "Sport (9)" when both numbers agree, "News (5, 105)" otherwise: the name
// leads, so that a list's type-ahead finds a channel by its name.
void appendNameFirstLabel(std::string& label, const Channel& channel) {
  const int number = channel.number;
  const int altNumber = channel.altNumber;
  label += channel.name != nullptr ? channel.name : "";
  label += " (";
  label += std::to_string(number);
  if (altNumber != number) {
    label += ", ";
    label += std::to_string(altNumber);
  }
  label += ')';
}

// First channel of the list with that number, or null.
const Channel* getChannelByNo(int number) {
  for (const Channel* channel = getChannels(); channel != nullptr; channel = channel->next) {
    if (static_cast<int>(channel->number) == number) return channel;
  }
  return nullptr;
}

// The file taken whole and unchanged (directives off); "" when it is missing.
std::string loadFile(const std::string& path) {
  std::string text;
  TemplateContext context;
  context.directives = 0;
  context.userData = &text;
  readTextFile(path, &context, loadLines);
  return text;
}

void loadLines(std::string_view piece, TemplateContext* context) {
  assert(context != nullptr && context->userData != nullptr);
  static_cast<std::string*>(context->userData)->append(piece);
}
