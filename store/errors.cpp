// The timer database handle and its one failure routine.
#include "store/timer_db.h"

#include <cstdlib>
#include <string>

#include "store/store_statements.h"
#include "texts/catalogue.h"

sqlite3* web_sched_db = nullptr;

namespace {

// Set once the request's timer action has been committed.
bool web_sched_action_done = false;

// The answer of a failure other than the page's, when one was set.
FailureAnswer failure_answer = nullptr;

}  // namespace

int openWebSchedDb(const char* path, int flags) {
  int code = quibUseDurableCommits();
  if (code == SQLITE_OK) code = sqlite3_open_v2(path, &web_sched_db, flags, nullptr);
  // A write of the firmware (or of another request) holds the database only
  // for a moment: wait for it instead of failing.
  if (code == SQLITE_OK) code = quibWaitForLocks(web_sched_db, 1);
  return code;
}

void answerFailuresWith(FailureAnswer answer) {
  failure_answer = answer;
}

void noteActionDone() {
  web_sched_action_done = true;
}

bool actionDone() {
  return web_sched_action_done;
}

void beginTimerRead(FailureSite site) {
  if (sqlite3_get_autocommit(web_sched_db) == 0) return;
  // A deferred "begin" takes no lock by itself, and the first statement's
  // reading of the schema would then take one of its own. The header value
  // needs no schema: reading it starts the transaction's shared lock, and
  // everything after it, the schema included, reads under that one lock.
  exitIfError(sqlite3_exec(web_sched_db, "begin; pragma schema_version", nullptr, nullptr, nullptr),
              site);
}

void endTimerRead(FailureSite site) {
  if (sqlite3_get_autocommit(web_sched_db) != 0) return;
  exitIfError(sqlite3_exec(web_sched_db, "commit", nullptr, nullptr, nullptr), site);
}

int closeTimerDbAfterFailure() {
  if (web_sched_db == nullptr) return SQLITE_OK;
  // A statement left open (a row read that failed half-way, a statement
  // whose handle is never destroyed because the process exits) would make
  // the close fail with SQLITE_BUSY and leave the rollback to the next
  // process that opens the file. What sqlite3_finalize returns is the
  // statement's last error, already reported: finalising itself cannot fail.
  while (sqlite3_stmt* open = sqlite3_next_stmt(web_sched_db, nullptr)) sqlite3_finalize(open);
  int code = SQLITE_OK;
  if (sqlite3_get_autocommit(web_sched_db) == 0) {
    code = sqlite3_exec(web_sched_db, "rollback", nullptr, nullptr, nullptr);
  }
  const int closed = sqlite3_close(web_sched_db);
  web_sched_db = nullptr;
  return code != SQLITE_OK ? code : closed;
}

int exitIfError(int code, FailureSite site) {
  if (code == SQLITE_OK) return code;
  // Said in front of the error line when the failure came after the action
  // was committed: the user must not take the action for lost and repeat it.
  // The connection's message is read before the clean-up below replaces it.
  std::string text(web_sched_action_done ? textOf(Text::kActionDone) : "");
  text += textWith(Text::kSqlError, {std::to_string(code), sqlite3_errmsg(web_sched_db),
                                     std::to_string(static_cast<int>(site))});
  // Whatever part of the page was written is dropped: the response is the
  // header and the error text.
  if (failure_answer != nullptr) {
    failure_answer(code, text);
  } else {
    quibSendFailure(text, quibDatabaseFailureStatus(code));
  }
  // The response is out; nothing is left to report a failed close to.
  closeTimerDbAfterFailure();
  std::exit(1);
}

void execSQL(const char* sql) {
  SqliteStatement statement = timer_store::prepareOrExit(sql, FailureSite::kExecPrepare);
  timer_store::stepOrExit(statement, FailureSite::kExecStep);
}
