// The notices that tell the user what an action did. They are page text:
// titles are HTML-escaped here, the rest comes from the catalogue.
#include <string>
#include <string_view>
#include "model/entry_refusal.h"
#include "model/title_text.h"
#include "quib/html.h"
#include "texts/catalogue.h"
#include "views/html/notices.h"

std::string groupNotice(GroupAction action, int32_t count) {
  if (count <= 0) return std::string(textOf(Text::kTimerGone));
  switch (action) {
    case GroupAction::kDelete:
      return countText(Text::kDeleted, count);
    case GroupAction::kEnable:
      return countText(Text::kEnabled, count);
    case GroupAction::kDisable:
      return countText(Text::kDisabled, count);
    case GroupAction::kClone:
      break;
  }
  return countText(Text::kCloned, count);
}

std::string createdNotice(std::string_view title) {
  return textWith(Text::kCreated, {quibHtmlEscape(readableTitle(title))});
}

std::string updatedNotice(std::string_view title) {
  return textWith(Text::kUpdated, {quibHtmlEscape(readableTitle(title))});
}

void appendNotice(std::string& notice, std::string_view sentence) {
  if (sentence.empty()) return;
  if (!notice.empty()) notice += ' ';
  notice += sentence;
}

std::string defaultsSavedNotice(int32_t prepadMinutes, int32_t postpadMinutes) {
  return textWith(Text::kDefaultsSaved, {countText(Text::kMinutesBefore, prepadMinutes),
                                         countText(Text::kMinutesAfter, postpadMinutes)});
}

std::string_view refusalNotice(EntryRefusal refusal) {
  switch (refusal) {
    case EntryRefusal::kMarginOutOfRange:
      return textOf(Text::kMarginOutOfRange);
    case EntryRefusal::kWindowNotPositive:
      return textOf(Text::kWindowNotPositive);
    case EntryRefusal::kWindowTooLong:
      return textOf(Text::kWindowTooLong);
    case EntryRefusal::kBeyondClock:
      return textOf(Text::kBeyondClock);
    case EntryRefusal::kTitleNotUtf8:
      return textOf(Text::kTitleNotUtf8);
    case EntryRefusal::kDateMalformed:
      return textOf(Text::kDateMalformed);
    case EntryRefusal::kStartMalformed:
      return textOf(Text::kStartMalformed);
    case EntryRefusal::kEndMalformed:
      return textOf(Text::kEndMalformed);
    case EntryRefusal::kTitleTooLong:
      break;
  }
  return textOf(Text::kTitleTooLong);
}

FormField refusalField(EntryRefusal refusal) {
  switch (refusal) {
    case EntryRefusal::kMarginOutOfRange:
      return FormField::kMargins;
    case EntryRefusal::kWindowNotPositive:
    case EntryRefusal::kWindowTooLong:
      return FormField::kLength;
    case EntryRefusal::kBeyondClock:
    case EntryRefusal::kDateMalformed:
      return FormField::kDate;
    case EntryRefusal::kStartMalformed:
      return FormField::kStart;
    case EntryRefusal::kEndMalformed:
      return FormField::kLength;
    case EntryRefusal::kTitleNotUtf8:
    case EntryRefusal::kTitleTooLong:
      break;
  }
  return FormField::kTitle;
}
