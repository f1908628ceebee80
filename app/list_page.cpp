#include "app/list_page.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/time_zone.h"
#include "quib/quib.h"
#include "store/padding_defaults.h"
#include "store/timer_db.h"
#include "store/timer_rows.h"

namespace {

// The browser remembers the order last chosen for the list, for a year. The
// choice is the user's only: it is not worth a write to the recorder's flash.
constexpr std::string_view kSortCookie = "skedrasort";
constexpr int32_t kSortCookieSeconds = 365 * 24 * 60 * 60;

// Whether the rows go by their next recording: as the request's "sort" asks,
// which is then remembered, else as remembered. Any other value of "sort",
// such as the empty one of a page in the stored order, chooses nothing.
bool chosenSortNext() {
  const std::optional<std::string> remembered = quibGetCookie(kSortCookie);
  const ParamValue sort = getParam("sort");
  if (sort != kSortNext && sort != kSortStored) return remembered == kSortNext;
  if (*sort == kSortNext && remembered != kSortNext) {
    quibSetPersistentCookie(
        std::string(kSortCookie) + "=" + std::string(kSortNext) + "; HttpOnly; SameSite=Strict",
        kSortCookieSeconds);
  } else if (*sort == kSortStored && remembered) {
    quibRemoveCookie(kSortCookie);
  }
  return *sort == kSortNext;
}

}  // namespace

ListScreen readListScreen() {
  ListScreen screen;
  beginTimerRead(FailureSite::kListReadBegin);
  const PaddingSettings& defaults = getSettings();
  screen.defaults = {defaults.prepad / 60, defaults.postpad / 60};
  screen.resaveDefaults = defaultsNeedSaving();
  // The rows are read with the defaults and before anything is rendered, so
  // the page holds the database once and only for its reads.
  screen.rows = readTimerRows();
  endTimerRead(FailureSite::kListReadEnd);
  screen.sortNext = chosenSortNext();
  screen.unreadableZone = unreadableTimeZone();
  return screen;
}
