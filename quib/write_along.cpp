// The writes that ride along with others in the account database: the access
// time that a session lookup found due, and the purges of expired sessions
// and old form tokens. A page view that finds its session valid writes
// nothing of its own; what it found due is stored with the request's next
// write, or at its end.
#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

#include "quib/account_db.h"

using namespace quibdb;

namespace {

constexpr const char* kTouchSession =
    "update sessions set access_time=strftime('%s', 'now') where id = ?";
// Sessions that have expired for good: not sticky and idle more than a day,
// or idle longer than a sticky cookie lives.
constexpr const char* kPurgeSessions =
    "delete from sessions where (sticky = 0 and strftime('%s', 'now') - access_time > 86400) or "
    "strftime('%s', 'now') - access_time > cast(?1 as integer)";
constexpr const char* kPurgeFormTokens =
    "delete from formtokens where strftime('%s', 'now') - used_time > 86400";

std::optional<std::string> pending_touch;

// Runs one statement with at most one text parameter; true when it ran.
using Runner = bool (*)(const char* sql, Param p1);

// Stores the access time due, if any, then runs the purges, each through run.
// An access time that cannot be stored leaves the purges undone too. With
// makeTokenTable the form tokens' table is made first where it is missing.
void storeDueAndPurge(Runner run, bool makeTokenTable) {
  if (pending_touch) {
    const std::string id = *pending_touch;
    pending_touch.reset();
    if (!run(kTouchSession, id)) return;
  }
  run(kPurgeSessions, std::to_string(kStickyCookieSeconds));
  if (makeTokenTable) run(kCreateFormTokens, std::nullopt);
  run(kPurgeFormTokens, std::nullopt);
}

// execSQL as a Runner: a refusal ends the request, so it always ran.
bool execOrFail(const char* sql, Param p1) {
  execSQL(sql, p1);
  return true;
}

}  // namespace

namespace quibdb {

void setPendingTouch(std::string_view id) {
  pending_touch = std::string(id);
}

void dropPendingTouch(std::string_view id) {
  if (pending_touch == id) pending_touch.reset();
}

void writeAlong() {
  storeDueAndPurge(execOrFail, true);
}

// A write the database refuses (a read-only or locked file) is left undone and
// leaves the session valid.
void writePendingTouch() {
  if (!pending_touch || !accountDbOpen()) return;
  sqlite3* db = getQuibDb();
  if (sqlite3_exec(db, kBegin, nullptr, nullptr, nullptr) != SQLITE_OK) {
    pending_touch.reset();
    return;
  }
  storeDueAndPurge(tryExecSQL, false);
  if (sqlite3_exec(db, kCommit, nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db, kRollback, nullptr, nullptr, nullptr);
  }
}

}  // namespace quibdb
