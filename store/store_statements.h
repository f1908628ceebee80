// Statement helpers of the timer store (group actions, timer writes, padding
// defaults). Every failure on the timer database ends the request through
// exitIfError with the number of the failing call site.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>

#include "quib/sqlite_handle.h"
#include "store/timer_db.h"

namespace timer_store {

// Ends the request for a failed call on the timer database. The statement is
// finalised first (finalising the failing statement keeps the connection's
// error text); exitIfError finalises any other statement still open and rolls
// back a transaction that is still open before it closes the database.
[[noreturn]] inline void failStatement(SqliteStatement& statement, int code, FailureSite site) {
  statement.reset();
  exitIfError(code, site);
  std::abort();  // exitIfError returns only for code 0, which never gets here
}

inline void checkOrExit(SqliteStatement& statement, int code, FailureSite site) {
  if (code != SQLITE_OK) failStatement(statement, code, site);
}

// Prepares sql on the timer database; a failure ends the request at site.
inline SqliteStatement prepareOrExit(const char* sql, FailureSite site) {
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(web_sched_db, sql, -1, &raw, nullptr);
  SqliteStatement statement(raw);
  checkOrExit(statement, code, site);
  return statement;
}

// Steps a statement once. Anything but a finished step or a row (a refused
// write, a locked database) ends the request at site. A statement that
// matches no row is no failure.
inline int stepOrExit(SqliteStatement& statement, FailureSite site) {
  int code = sqlite3_step(statement.get());
  if (code != SQLITE_DONE && code != SQLITE_ROW) failStatement(statement, code, site);
  return code;
}

// Binds value to the parameter of that name; a name the statement lacks is
// a failure (SQLITE_RANGE) like any other.
inline void bindIntOrExit(SqliteStatement& statement, const char* name, int32_t value,
                          FailureSite site) {
  int index = sqlite3_bind_parameter_index(statement.get(), name);
  checkOrExit(statement, sqlite3_bind_int(statement.get(), index, value), site);
}

// One write transaction of the timer store, begun immediately: the write
// lock is taken before the first statement, so a transaction never has to
// upgrade a read lock while another process waits for it to end (the
// deadlock that SQLite resolves by refusing one side at once). Inside a
// transaction that is already open it does nothing: the outer one commits.
// A failure leaves through exitIfError, which rolls the open transaction back
// before it closes the database.
class StoreTransaction {
 public:
  StoreTransaction(FailureSite beginSite, FailureSite commitSite) : commitSite_(commitSite) {
    if (sqlite3_get_autocommit(web_sched_db) == 0) return;
    exitIfError(sqlite3_exec(web_sched_db, "begin immediate", nullptr, nullptr, nullptr),
                beginSite);
    open_ = true;
  }
  // Reached without a commit when the write is abandoned (an entry that is
  // refused, a timer that is gone, an exception): nothing of it remains.
  ~StoreTransaction() {
    if (open_) sqlite3_exec(web_sched_db, "rollback", nullptr, nullptr, nullptr);
  }
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;

  void commit() {
    if (!open_) return;
    exitIfError(sqlite3_exec(web_sched_db, "commit", nullptr, nullptr, nullptr), commitSite_);
    open_ = false;
  }

 private:
  FailureSite commitSite_;
  bool open_ = false;
};

}  // namespace timer_store
