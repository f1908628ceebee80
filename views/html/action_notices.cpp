// The notices that tell the user what an action did. They are page text:
// titles are HTML-escaped here, the rest is fixed text.
#include <string>
#include <string_view>
#include "model/title_text.h"
#include "quib/quib.h"
#include "views/html/notices.h"

const char* const noticeGone = "That timer no longer exists.";
const char* const noticeAlreadySent = "This form was already sent.";
const char* const noticeDefaultsNotApplied =
    "The default margins are stored but no longer applied to the recorder's own timers: save "
    "them again.";

std::string groupNotice(GroupAction action, int32_t count) {
  if (count <= 0) return noticeGone;
  const bool one = count == 1;
  std::string notice;
  switch (action) {
    case GroupAction::kDelete:
      notice = "Deleted ";
      break;
    case GroupAction::kEnable:
      notice = "Enabled ";
      break;
    case GroupAction::kDisable:
      notice = "Disabled ";
      break;
    case GroupAction::kClone:
      notice = "Cloned ";
      break;
  }
  notice += std::to_string(count);
  notice += one ? " timer" : " timers";
  // A copy is exact but disabled: that is how the user tells it apart.
  if (action == GroupAction::kClone) {
    notice += one ? " (the copy is disabled)" : " (the copies are disabled)";
  }
  notice += '.';
  return notice;
}

namespace {

std::string titledNotice(const char* verb, std::string_view title) {
  std::string notice(verb);
  notice += " \"";
  notice += quibHtmlEscape(readableTitle(title));
  notice += "\".";
  return notice;
}

}  // namespace

std::string createdNotice(std::string_view title) {
  return titledNotice("Created", title);
}

std::string updatedNotice(std::string_view title) {
  return titledNotice("Updated", title);
}

void appendNotice(std::string& notice, std::string_view sentence) {
  if (sentence.empty()) return;
  if (!notice.empty()) notice += ' ';
  notice += sentence;
}

namespace {

// "5 minutes before" / "1 minute after".
std::string marginText(int32_t minutes, const char* side) {
  std::string text = std::to_string(minutes);
  text += minutes == 1 || minutes == -1 ? " minute " : " minutes ";
  text += side;
  return text;
}

}  // namespace

std::string defaultsSavedNotice(int32_t prepadMinutes, int32_t postpadMinutes) {
  return "Saved the default margins: " + marginText(prepadMinutes, "before") + ", " +
         marginText(postpadMinutes, "after") + ". No timer was written.";
}
