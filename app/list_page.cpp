#include "app/list_page.h"

#include "platform/time_zone.h"
#include "quib/quib.h"
#include "store/padding_defaults.h"
#include "store/timer_db.h"
#include "store/timer_rows.h"

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
  screen.sortNext = getParam("sort") == kSortNext;
  screen.unreadableZone = unreadableTimeZone();
  return screen;
}
