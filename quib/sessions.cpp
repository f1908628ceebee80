// Sign-in sessions and user accounts, kept in the account database.
//
// The database is opened on first use and stays open for the rest of the
// request (one process per request). Its schema and the initial account are
// created on demand. Every failure of the database ends the request through
// checkDBout with a short error page and exit status 1, but for the access
// time that a lookup stores, which is kept only where the database lets it.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "quib/account_db.h"
#include "quib/quib.h"
#include "quib/session_id.h"
#include "quib/sqlite_handle.h"
#include "sha1/sha1.h"
#include "skedra_paths.h"

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
// One-time form tokens of forms whose action was carried out; a database made
// before they existed gains the table on first use.
constexpr const char* kCreateFormTokens =
    "create table if not exists formtokens (token text primary key, used_time int)";
// Failed sign-ins per user name and source address: how many since the
// pair's last success, and when the latest was counted. A database made
// before the table existed gains it on first use; one whose table counted
// per user name only has it replaced (see useSignInFailuresTable).
constexpr const char* kCreateSignInFailures =
    "create table if not exists signinfailures (login text, address text, failures int, "
    "last_time int, primary key (login, address))";
constexpr const char* kProbeSignInFailures = "select address from signinfailures";
constexpr const char* kDropSignInFailures = "drop table if exists signinfailures";
// The failures of the pair and the seconds since the latest of them.
constexpr const char* kLookupSignInFailures =
    "select failures, strftime('%s', 'now') - last_time from signinfailures where login = ?1 "
    "and address = ?2";
constexpr const char* kCountSignInFailure =
    "insert into signinfailures (login, address, failures, last_time) values (?1, ?2, 1, "
    "strftime('%s', 'now')) on conflict (login, address) do update set failures = failures + 1, "
    "last_time = strftime('%s', 'now')";
// Rows without a failure for a day count for nothing; of the rest the most
// recent are kept, up to the cap.
constexpr const char* kPurgeSignInFailures =
    "delete from signinfailures where strftime('%s', 'now') - last_time >= cast(?1 as integer)";
constexpr const char* kCapSignInFailures =
    "delete from signinfailures where rowid not in (select rowid from signinfailures order by "
    "last_time desc, rowid desc limit cast(?1 as integer))";
constexpr const char* kClearSignInFailures =
    "delete from signinfailures where login = ?1 and address = ?2";
constexpr const char* kBegin = "begin";
constexpr const char* kBeginImmediate = "begin immediate";
constexpr const char* kRollback = "rollback";
constexpr const char* kCommit = "commit";
constexpr const char* kInsertAdmin =
    "insert into users (login, pass, created_time) values ('admin', ?, strftime('%s', 'now'))";
constexpr const char* kDeleteSession = "delete from sessions where id = ?";
// Sessions that have expired for good: not sticky and idle more than a day,
// or idle longer than a sticky cookie lives.
constexpr const char* kPurgeSessions =
    "delete from sessions where (sticky = 0 and strftime('%s', 'now') - access_time > 86400) or "
    "strftime('%s', 'now') - access_time > cast(?1 as integer)";
constexpr const char* kPurgeFormTokens =
    "delete from formtokens where strftime('%s', 'now') - used_time > 86400";
constexpr const char* kClaimFormToken =
    "insert or ignore into formtokens (token, used_time) values (?, strftime('%s', 'now'))";
constexpr const char* kLookupSession =
    "select access_time, sticky, login from sessions where id = ?";
constexpr const char* kTouchSession =
    "update sessions set access_time=strftime('%s', 'now') where id = ?";
constexpr const char* kTouchUser =
    "update users set login_time = strftime('%s', 'now') where login = ?";
constexpr const char* kInsertSession =
    "insert into sessions (id, login, created_time, access_time, sticky) values (?, ?, "
    "strftime('%s', 'now'), strftime('%s', 'now'), ?)";
constexpr const char* kCheckUser = "select 1 from users where login = ? and pass = ?";
constexpr const char* kChangePass =
    "update users set pass = ?, passchange_time = strftime('%s', 'now') where pass = ? and login = "
    "?";
// Every session of the user but the one given (none: every session).
constexpr const char* kEndOtherSessions = "delete from sessions where login = ?1 and id is not ?2";
// Ends the user's sessions beyond the most recently used ones, up to the cap.
constexpr const char* kCapUserSessions =
    "delete from sessions where login = ?1 and rowid not in (select rowid from sessions where "
    "login = ?1 order by access_time desc, created_time desc, rowid desc limit cast(?2 as "
    "integer))";
// Keeps the most recently recorded form tokens, up to the cap.
constexpr const char* kCapFormTokens =
    "delete from formtokens where rowid not in (select rowid from formtokens order by used_time "
    "desc, rowid desc limit cast(?1 as integer))";

// The fatal page: start, code, message part, message, end.
constexpr const char* kErrorPageStart =
    "<html><head><title>ERROR</title></head><body><h3>quib SQL error code: ";
constexpr const char* kErrorPageMessage = ", message: ";
constexpr const char* kErrorPageEnd = "</h3></body></html>\n";

constexpr const char* kInitialLogin = "admin";
constexpr const char* kInitialPassword = "482";

// A session that is not sticky expires when idle this many seconds or more.
constexpr int32_t kIdleLimit = 300;
// A lookup stores the access time only once the stored one is this many
// seconds old: page views within a minute write nothing (a session may thus
// end up to a minute before its idle limit counted from the latest view).
constexpr int32_t kTouchInterval = 60;
// Lifetime of a sticky session's browser cookie, renewed on every lookup; a
// sticky session idle longer than this has expired on the server too.
constexpr int32_t kStickyCookieSeconds = 15811200;

// Sign-in failures count per user name and source address. The first ones
// are free (typing errors); from then on every attempt of that pair must
// wait after the latest failure, the first delay doubling with each further
// failure up to the longest. An attempt refused for waiting counts as a
// failure too, so a guesser who does not wait never gets through. A success
// forgets the pair's failures; a day without one forgets them too.
constexpr int kFreeSignInFailures = 5;
constexpr int32_t kFirstSignInDelaySeconds = 15;
constexpr int32_t kLongestSignInDelaySeconds = 900;
constexpr int32_t kForgetSignInFailuresSeconds = 86400;
// At most this many pairs are on record; the ones that failed longest ago go
// first. Source addresses are kept to this many bytes.
constexpr int kMaxSignInFailureRows = 1000;
constexpr size_t kMaxAddressBytes = 64;
// Sessions of one user beyond this many end, the least recently used first.
constexpr int kMaxSessionsPerUser = 16;
// Used form tokens on record, and the longest text that can be one.
constexpr int kMaxFormTokens = 1000;
constexpr size_t kMaxFormTokenBytes = 128;
// Attributes of the session cookie: not readable by page scripts, not sent
// with requests that other sites start.
constexpr std::string_view kSessionCookieAttributes = "; HttpOnly; SameSite=Strict";

// Reported when no random source can be read for a new session id.
constexpr const char* kNoRandomSource = "cannot read the system random source";

sqlite3* quib_db = nullptr;
int quib_db_ret = 0;
std::string quib_db_msg;
// The session this request uses: the one its lookup found valid or the one
// it created. A password change keeps it and ends the user's others.
std::optional<std::string> request_session;
// The session whose access time the request's lookup found due. It is stored
// in the request's next write of the account database, or on its own when
// the database is closed.
std::optional<std::string> pending_touch;

// Writes the fatal page for code and message in place of any page text
// written so far, closes the account database and ends the process with exit
// status 1. Cookie lines queued so far go out with the one header.
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

// The open account database; opened on the first call of the process. A
// database that cannot be opened ends the request, or with mayFail gives
// none (and a later call tries again).
sqlite3* getQuibDb(bool mayFail = false) {
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

// Binds text at position (explicit length, no copy: the caller keeps the text
// alive until the statement is finalised).
int bindText(sqlite3_stmt* statement, int position, std::string_view text) {
  // A default-constructed view has no data; bind it as the empty text, not NULL.
  const char* data = text.data() ? text.data() : "";
  return sqlite3_bind_text64(statement, position, data, text.size(), SQLITE_STATIC, SQLITE_UTF8);
}

// Steps a statement; a refused write or read ends the request.
// Returns true when the step yielded a row.
bool stepWrite(sqlite3_stmt* statement) {
  int rc = sqlite3_step(statement);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) checkDBout(rc);
  return rc == SQLITE_ROW;
}

using Param = std::optional<std::string_view>;

// Runs sql once with up to three text parameters; an absent one leaves its
// position unbound (NULL). Returns 1 when the statement yielded a row.
int execSQL(const char* sql, Param p1 = std::nullopt, Param p2 = std::nullopt,
            Param p3 = std::nullopt) {
  sqlite3* db = getQuibDb();
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  SqliteStatement statement(raw);
  checkDBout(rc);
  const Param params[3] = {p1, p2, p3};
  for (int k = 0; k < 3; ++k) {
    if (params[k]) checkDBout(bindText(statement.get(), k + 1, *params[k]));
  }
  return stepWrite(statement.get()) ? 1 : 0;
}

// Like execSQL for one text parameter, but whatever the database refuses is
// reported instead of ending the request. Returns true when it ran.
bool tryExecSQL(const char* sql, std::string_view p1) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(getQuibDb(), sql, -1, &raw, nullptr);
  SqliteStatement statement(raw);
  if (rc != SQLITE_OK || bindText(statement.get(), 1, p1) != SQLITE_OK) return false;
  rc = sqlite3_step(statement.get());
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

// Within a write transaction that the request makes anyway: stores the access
// time that its lookup found due and purges expired sessions and old form
// tokens, so that these cost no commit of their own.
void writeAlong() {
  if (pending_touch) {
    execSQL(kTouchSession, *pending_touch);
    pending_touch.reset();
  }
  execSQL(kPurgeSessions, std::to_string(kStickyCookieSeconds));
  execSQL(kCreateFormTokens);
  execSQL(kPurgeFormTokens);
}

// Deletes the session id and, in the same transaction, every session that
// has expired for good and form tokens recorded more than a day ago.
int deleteSession(std::string_view id) {
  if (request_session == id) request_session.reset();
  if (pending_touch == id) pending_touch.reset();
  // One transaction: one journal and one set of syncs for all of it (the
  // caller's, when it holds one).
  const bool ownTransaction = sqlite3_get_autocommit(getQuibDb()) != 0;
  if (ownTransaction) execSQL(kBegin);
  int result = execSQL(kDeleteSession, id);
  writeAlong();
  if (ownTransaction) execSQL(kCommit);
  return result;
}

// Stores the access time still due, with the purges, in a transaction of its
// own. The response may be out already, so nothing here ends the request: a
// write the database refuses (a read-only or locked file) is left undone and
// leaves the session valid.
void writePendingTouch() {
  if (!pending_touch || !quib_db) return;
  const std::string id = *pending_touch;
  const std::string stickyLife = std::to_string(kStickyCookieSeconds);
  pending_touch.reset();
  if (sqlite3_exec(quib_db, kBegin, nullptr, nullptr, nullptr) != SQLITE_OK) return;
  if (tryExecSQL(kTouchSession, id)) {
    tryExecSQL(kPurgeSessions, stickyLife);
    sqlite3_exec(quib_db, kPurgeFormTokens, nullptr, nullptr, nullptr);
  }
  if (sqlite3_exec(quib_db, kCommit, nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(quib_db, kRollback, nullptr, nullptr, nullptr);
  }
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
  if (newUsers) {
    std::optional<std::string> pass = hashPassword(kInitialLogin, kInitialPassword);
    execSQL(kInsertAdmin, pass ? Param(*pass) : std::nullopt);
  }
  execSQL(kCommit);
}

// Prepares sql; when a table it names is missing (SQLITE_ERROR) the tables
// are made first. A statement that still cannot be prepared (a database of
// another layout) ends the request.
SqliteStatement prepareWithTables(const char* sql) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(getQuibDb(), sql, -1, &raw, nullptr);
  if (rc == SQLITE_ERROR) {
    sqlite3_finalize(raw);
    raw = nullptr;
    createQuibTables();
    rc = sqlite3_prepare_v2(getQuibDb(), sql, -1, &raw, nullptr);
  }
  SqliteStatement statement(raw);
  checkDBout(rc);
  return statement;
}

// True when sql prepares; false when a table or column it names is missing.
bool prepares(const char* sql) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(getQuibDb(), sql, -1, &raw, nullptr);
  SqliteStatement statement(raw);
  if (rc == SQLITE_ERROR) return false;
  checkDBout(rc);
  return true;
}

// Makes sure the failures table counts per user name and source address. A
// table that counted per user name only is replaced: its counts go, which
// forgets at most a day of failures.
void useSignInFailuresTable() {
  if (prepares(kProbeSignInFailures)) return;
  execSQL(kBeginImmediate);
  if (!prepares(kProbeSignInFailures)) {
    execSQL(kDropSignInFailures);
    execSQL(kCreateSignInFailures);
  }
  execSQL(kCommit);
}

// A file made before freed pages were given back is rebuilt once so that it
// does; the rebuild needs the database to itself, and a request that cannot
// have it leaves it to a later one.
void reclaimFreedPagesOnce() {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(getQuibDb(), kAutoVacuumMode, -1, &raw, nullptr);
  SqliteStatement mode(raw);
  checkDBout(rc);
  if (!stepWrite(mode.get()) || sqlite3_column_int(mode.get(), 0) != 0) return;
  mode.reset();
  execSQL(kReclaimFreedPages);
  sqlite3_exec(getQuibDb(), kVacuum, nullptr, nullptr, nullptr);
}

// The source address of the request as far as it is kept ("" when the web
// server names none).
std::string_view sourceAddress() {
  const char* address = std::getenv("REMOTE_ADDR");
  std::string_view text = address ? address : "";
  return text.substr(0, std::min(text.size(), kMaxAddressBytes));
}

// Seconds that the pair must wait after its latest failure before it may try
// again, for the number of failures on record.
int64_t signInDelaySeconds(int64_t failures) {
  if (failures < kFreeSignInFailures) return 0;
  int64_t delay = kFirstSignInDelaySeconds;
  for (int64_t extra = failures - kFreeSignInFailures; extra > 0; --extra) {
    delay *= 2;
    if (delay >= kLongestSignInDelaySeconds) return kLongestSignInDelaySeconds;
  }
  return std::min<int64_t>(delay, kLongestSignInDelaySeconds);
}

// Purges the failures table: the rows of pairs forgotten by age, then the
// oldest beyond the cap. Runs in every write of the table.
void purgeSignInFailures() {
  execSQL(kPurgeSignInFailures, std::to_string(kForgetSignInFailuresSeconds));
  execSQL(kCapSignInFailures, std::to_string(kMaxSignInFailureRows));
}

// The cookie text of a session: name, id and the session cookie attributes.
std::string sessionCookie(std::string_view id) {
  std::string cookie(quibSessionCookieName);
  cookie += '=';
  cookie += id;
  cookie += kSessionCookieAttributes;
  return cookie;
}

}  // namespace

int checkDBout(int code) {
  if (code == SQLITE_OK) return code;
  failRequest(code, sqlite3_errmsg(quib_db));
}

std::optional<std::string> hashPassword(std::string_view login, std::string_view password) {
  std::string message;
  message.reserve(login.size() + 1 + password.size());
  message.append(login).append(1, ' ').append(password);

  SHA1State state;
  SHA1Reset(state);
  // Fed in pieces that fit the 32-bit length of the digest interface.
  const auto* bytes = reinterpret_cast<const uint8_t*>(message.data());
  size_t remaining = message.size();
  while (remaining > 0) {
    uint32_t piece = remaining > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(remaining);
    SHA1Input(state, bytes, piece);
    bytes += piece;
    remaining -= piece;
  }
  if (!SHA1Result(state)) return std::nullopt;

  // Each word in lowercase hexadecimal without leading zeros; a word shorter
  // than eight digits is the last one of the text. Stored accounts depend on
  // exactly this form.
  std::string text;
  for (uint32_t word : state.digest) {
    char digits[9];
    int length = std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(word));
    text.append(digits, static_cast<size_t>(length));
    if (length < 8) break;
  }
  return text;
}

std::optional<std::string> quibGetAuthUser() {
  std::optional<std::string> id = quibGetSessionCookie();
  if (!id) {
    ParamValue param = getParam(quibSessionCookieName);
    if (!param) return std::nullopt;
    id.emplace(*param);
  }

  SqliteStatement lookup = prepareWithTables(kLookupSession);
  checkDBout(bindText(lookup.get(), 1, *id));
  // A lookup the database refuses (still locked after the busy timeout, an
  // I/O error) is a failure of the database, not a request without a session.
  bool found = stepWrite(lookup.get());

  bool sticky = false;
  bool valid = false;
  bool touchDue = false;
  // Seconds the session's row has left once the lookup is stored.
  int32_t remaining = kStickyCookieSeconds;
  std::optional<std::string> login;
  if (found) {
    sticky = sqlite3_column_int(lookup.get(), 1) == 1;
    // The device counts seconds in 32 bits: the difference wraps like there.
    int32_t now = static_cast<int32_t>(std::time(nullptr));
    int32_t accessed = sqlite3_column_int(lookup.get(), 0);
    int32_t idle =
        static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(accessed));
    const unsigned char* name = sqlite3_column_text(lookup.get(), 2);
    // A session row without a user name signs nobody in.
    if (name && (sticky ? idle <= kStickyCookieSeconds : idle < kIdleLimit)) {
      valid = true;
      // An access time ahead of the clock (the clock was set back) is due too.
      touchDue = idle >= kTouchInterval || idle < 0;
      remaining = touchDue ? kStickyCookieSeconds : kStickyCookieSeconds - idle;
      login.emplace(reinterpret_cast<const char*>(name),
                    static_cast<size_t>(sqlite3_column_bytes(lookup.get(), 2)));
    }
  }
  lookup.reset();

  if (!valid) {
    if (found) deleteSession(*id);
    return std::nullopt;
  }
  request_session = *id;
  // A fresh access time is stored with the request's next write, or when the
  // database is closed; a view within a minute of the last writes nothing.
  // The sticky cookie is renewed for exactly as long as the row lives.
  if (touchDue) pending_touch = *id;
  if (sticky) quibSetPersistentCookie(sessionCookie(*id), remaining);
  return login;
}

int quibExpireSession(std::string_view id) {
  // The browser's cookie goes only once the session is gone.
  int result = deleteSession(id);
  quibRemoveCookie(quibSessionCookieName);
  return result;
}

std::string quibCreateSession(std::string_view login, int sticky) {
  std::optional<std::string> oldId = quibGetSessionCookie();
  std::optional<std::string> id = newSessionId();
  // Without a random source no id is safe to hand out.
  if (!id) failRequest(SQLITE_IOERR, kNoRandomSource);
  // One write transaction for all of it: concurrent sign-ins queue for the
  // database once each, not once for every statement.
  execSQL(kBeginImmediate);
  if (oldId) deleteSession(*oldId);

  // The session is stored before its cookie is queued: a refused write ends
  // the request without handing out an id that names nothing.
  execSQL(kTouchUser, login);
  execSQL(kInsertSession, *id, login, sticky ? "1" : "0");
  execSQL(kCapUserSessions, login, std::to_string(kMaxSessionsPerUser));
  writeAlong();
  execSQL(kCommit);
  if (sticky) {
    quibSetPersistentCookie(sessionCookie(*id), kStickyCookieSeconds);
  } else {
    quibSetCookie(sessionCookie(*id));
  }
  request_session = *id;
  return *id;
}

int quibVerifyUserPass(std::string_view login, std::string_view password) {
  // Overlong texts are no account's: refused before anything is stored.
  if (login.size() > kQuibMaxLoginBytes || password.size() > kQuibMaxPasswordBytes) {
    return kQuibSignInInvalid;
  }
  // Declared before the statement, which binds it without a copy.
  std::optional<std::string> pass;
  SqliteStatement check = prepareWithTables(kCheckUser);
  useSignInFailuresTable();
  const std::string_view address = sourceAddress();

  // The failure count is read and written in one write transaction, so that
  // concurrent attempts take turns and each sees the count of those before
  // it (the lock is taken at once; a read-only file still lets a check that
  // writes nothing through).
  execSQL(kBeginImmediate);
  sqlite3_stmt* rawFailures = nullptr;
  int rc = sqlite3_prepare_v2(getQuibDb(), kLookupSignInFailures, -1, &rawFailures, nullptr);
  SqliteStatement failures(rawFailures);
  checkDBout(rc);
  checkDBout(bindText(failures.get(), 1, login));
  checkDBout(bindText(failures.get(), 2, address));
  const bool failedBefore = stepWrite(failures.get());
  // A latest failure "in the future" (the clock was set back) holds nothing.
  const int64_t sinceLatest = failedBefore ? sqlite3_column_int64(failures.get(), 1) : 0;
  const bool locked = failedBefore && sinceLatest >= 0 &&
                      sinceLatest < signInDelaySeconds(sqlite3_column_int64(failures.get(), 0));
  failures.reset();

  // An attempt that must still wait is refused before any digest is computed,
  // and counts like a wrong password.
  int result = kQuibSignInLocked;
  bool valid = false;
  if (!locked) {
    pass = hashPassword(login, password);
    if (pass) {
      checkDBout(bindText(check.get(), 1, login));
      checkDBout(bindText(check.get(), 2, *pass));
      valid = stepWrite(check.get());
    }
    result = valid ? kQuibSignInValid : kQuibSignInInvalid;
  }
  if (!valid) {
    execSQL(kCountSignInFailure, login, address);
    purgeSignInFailures();
  } else if (failedBefore) {
    execSQL(kClearSignInFailures, login, address);
    purgeSignInFailures();
  }
  check.reset();
  execSQL(kCommit);
  if (valid) reclaimFreedPagesOnce();
  return result;
}

int quibChangePass(std::string_view login, std::string_view oldPassword,
                   std::string_view newPassword) {
  if (newPassword.size() > kQuibMaxPasswordBytes) return 0;
  std::optional<std::string> oldPass = hashPassword(login, oldPassword);
  std::optional<std::string> newPass = hashPassword(login, newPassword);
  if (!oldPass || !newPass) return 0;
  // The new password and the end of the user's other sessions are stored
  // together or not at all (within the transaction that records the form's
  // token when one is open).
  const bool ownTransaction = sqlite3_get_autocommit(getQuibDb()) != 0;
  if (ownTransaction) execSQL(kBegin);
  execSQL(kChangePass, *newPass, *oldPass, login);
  const bool changed = sqlite3_changes(getQuibDb()) > 0;
  if (changed) {
    execSQL(kEndOtherSessions, login, request_session ? Param(*request_session) : std::nullopt);
  }
  if (ownTransaction) execSQL(kCommit);
  return changed ? 1 : 0;
}

int quibUsesInitialPassword(std::string_view login) {
  if (login != kInitialLogin) return 0;
  // Declared before the statement's run, which binds it without a copy.
  std::optional<std::string> initial = hashPassword(kInitialLogin, kInitialPassword);
  if (!initial) return 0;
  return execSQL(kCheckUser, login, *initial);
}

int quibClaimFormToken(std::string_view token) {
  // A text longer than any token is none the interface drew.
  if (token.size() > kMaxFormTokenBytes) return 0;
  execSQL(kCreateFormTokens);
  // The claim, the access time and the purges are one commit; a claim made
  // inside the caller's transaction commits with it.
  const bool ownTransaction = sqlite3_get_autocommit(getQuibDb()) != 0;
  if (ownTransaction) execSQL(kBegin);
  execSQL(kClaimFormToken, token);
  const bool claimed = sqlite3_changes(getQuibDb()) == 1;
  if (claimed) execSQL(kCapFormTokens, std::to_string(kMaxFormTokens));
  writeAlong();
  if (ownTransaction) execSQL(kCommit);
  return claimed ? 1 : 0;
}

sqlite3* quibAccountDb(bool mayFail) {
  return getQuibDb(mayFail);
}

std::optional<std::string> quibRequestSession() {
  return request_session;
}

void quibClose() {
  writePendingTouch();
  sqlite3_close(quib_db);
  quib_db = nullptr;
}
