// The account database: opening it, its journal, its tables, the statement
// runners of the toolkit and the one failure path.
//
// The database is opened on first use and stays open for the rest of the
// request (one process per request). Its schema and the initial account are
// created on demand. Every failure of the database ends the request through
// checkDBout with a short error page and exit status 1, but for the access
// time that a lookup stores, which is kept only where the database lets it.
#include <sqlite3.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "quib/account_db.h"
#include "quib/database.h"
#include "quib/response.h"
#include "quib/sessions.h"
#include "quib/sqlite_handle.h"
#include "skedra_paths.h"

using namespace quibdb;

namespace {

constexpr const char* kAuthDbVariable = "quibauth";

constexpr const char* kCreateSessions =
    "create table if not exists sessions (id text primary key, login text, created_time int, "
    "access_time int, sticky int, attrs text)";
constexpr const char* kCreateUsers =
    "create table if not exists users (login text primary key, pass text, created_time int, "
    "login_time int, passchange_time int, first_name text, surname text)";
constexpr const char* kUsersTableExists =
    "select 1 from sqlite_master where type = 'table' and name = 'users'";
// A new account database gives freed pages back to the file system at every
// commit; this holds only while the file has no table yet.
constexpr const char* kReclaimFreedPages = "pragma auto_vacuum = full";
constexpr const char* kAutoVacuumMode = "pragma auto_vacuum";
constexpr const char* kVacuum = "vacuum";
constexpr const char* kInsertAdmin =
    "insert into users (login, pass, created_time) values ('admin', ?, strftime('%s', 'now'))";

// The fatal page: start, code, message part, message, end.
constexpr const char* kErrorPageStart =
    "<html><head><title>ERROR</title></head><body><h3>quib SQL error code: ";
constexpr const char* kErrorPageMessage = ", message: ";
constexpr const char* kErrorPageEnd = "</h3></body></html>\n";

sqlite3* quib_db = nullptr;
int quib_db_ret = 0;
std::string quib_db_msg;

// The account database lives on the recorder's flash or USB disk, shared by
// concurrent requests. A rollback journal deleted at commit works on every
// file system the recorder may use (write-ahead logging needs shared memory
// that flash file systems may not map, and would create, checkpoint and
// delete its files in every request); a full sync at each commit keeps an
// acknowledged write across a power cut and the file intact.
void useFlashJournal(sqlite3* db) {
  checkDBout(sqlite3_exec(db, "pragma journal_mode = delete; pragma synchronous = full", nullptr,
                          nullptr, nullptr));
}

// The tables of the account database, each made when it is missing, and the
// initial account with a new users table. One write transaction holds it all,
// so that requests that find a new database at the same time make it once.
void createQuibTables() {
  // Holds only while the file has no table yet.
  execSQL(kReclaimFreedPages);
  execSQL(kBeginImmediate);
  const bool newUsers = execSQL(kUsersTableExists) == 0;
  execSQL(kCreateSessions);
  execSQL(kCreateUsers);
  execSQL(kCreateFormTokens);
  execSQL(kCreateSignInFailures);
  execSQL(kCreateApiTokens);
  if (newUsers) {
    std::optional<std::string> pass = initialPasswordDigest();
    execSQL(kInsertAdmin, pass ? Param(*pass) : std::nullopt);
  }
  execSQL(kCommit);
}

// Prepares sql on the account database: SQLite's result code and the
// statement, if any.
std::pair<int, SqliteStatement> prepare(const char* sql) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(getQuibDb(), sql, -1, &raw, nullptr);
  return {rc, SqliteStatement(raw)};
}

}  // namespace

namespace quibdb {

[[noreturn]] void failRequest(int code, std::string message) {
  quib_db_ret = code;
  quib_db_msg = std::move(message);
  std::string page(kErrorPageStart);
  page += std::to_string(quib_db_ret);
  page += kErrorPageMessage;
  page += quib_db_msg;
  page += kErrorPageEnd;
  quibSendFailure(page, quibDatabaseFailureStatus(code));
  // The failing statement may still be prepared: close once it is gone.
  sqlite3_close_v2(quib_db);
  quib_db = nullptr;
  std::exit(1);
}

sqlite3* getQuibDb(bool mayFail) {
  if (quib_db) return quib_db;
  const char* path = std::getenv(kAuthDbVariable);
  if (!path) path = QUIB_AUTH_DB_PATH;
  checkDBout(quibUseDurableCommits());
  const int opened = sqlite3_open(path, &quib_db);
  if (opened != SQLITE_OK && mayFail) {
    sqlite3_close(quib_db);
    quib_db = nullptr;
    return nullptr;
  }
  checkDBout(opened);
  // Another request may be writing a session: wait for it rather than fail.
  checkDBout(quibWaitForLocks(quib_db, 0));
  useFlashJournal(quib_db);
  return quib_db;
}

bool accountDbOpen() {
  return quib_db != nullptr;
}

int bindText(sqlite3_stmt* statement, int position, std::string_view text) {
  // A default-constructed view has no data; bind it as the empty text, not NULL.
  const char* data = text.data() ? text.data() : "";
  return sqlite3_bind_text64(statement, position, data, text.size(), SQLITE_STATIC, SQLITE_UTF8);
}

bool stepWrite(sqlite3_stmt* statement) {
  int rc = sqlite3_step(statement);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) checkDBout(rc);
  return rc == SQLITE_ROW;
}

int execSQL(const char* sql, Param p1, Param p2, Param p3) {
  auto [rc, statement] = prepare(sql);
  checkDBout(rc);
  const Param params[3] = {p1, p2, p3};
  for (int k = 0; k < 3; ++k) {
    if (params[k]) checkDBout(bindText(statement.get(), k + 1, *params[k]));
  }
  return stepWrite(statement.get()) ? 1 : 0;
}

bool tryExecSQL(const char* sql, Param p1) {
  auto [rc, statement] = prepare(sql);
  if (rc != SQLITE_OK || (p1 && bindText(statement.get(), 1, *p1) != SQLITE_OK)) return false;
  rc = sqlite3_step(statement.get());
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

SqliteStatement prepareWithTables(const char* sql) {
  auto [rc, statement] = prepare(sql);
  if (rc == SQLITE_ERROR) {
    statement.reset();
    createQuibTables();
    std::tie(rc, statement) = prepare(sql);
  }
  checkDBout(rc);
  return std::move(statement);
}

bool prepares(const char* sql) {
  return prepareIfTables(sql) != nullptr;
}

SqliteStatement prepareIfTables(const char* sql) {
  auto [rc, statement] = prepare(sql);
  if (rc == SQLITE_ERROR) return nullptr;
  checkDBout(rc);
  return std::move(statement);
}

void reclaimFreedPagesOnce() {
  auto [rc, mode] = prepare(kAutoVacuumMode);
  checkDBout(rc);
  if (!stepWrite(mode.get()) || sqlite3_column_int(mode.get(), 0) != 0) return;
  mode.reset();
  execSQL(kReclaimFreedPages);
  sqlite3_exec(getQuibDb(), kVacuum, nullptr, nullptr, nullptr);
}

}  // namespace quibdb

int checkDBout(int code) {
  if (code == SQLITE_OK) return code;
  failRequest(code, sqlite3_errmsg(quib_db));
}

sqlite3* quibAccountDb(bool mayFail) {
  return getQuibDb(mayFail);
}

void quibClose() {
  writePendingTouch();
  sqlite3_close(quib_db);
  quib_db = nullptr;
}
