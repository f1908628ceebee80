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

#include "quib/quib.h"
#include "quib/session_id.h"
#include "quib/sqlite_handle.h"
#include "sha1/sha1.h"
#include "skedra_paths.h"

namespace {

constexpr const char* kAuthDbVariable = "quibauth";

constexpr const char* kCreateSessions =
    "create table sessions (id text primary key, login text, created_time int, access_time int, "
    "sticky int, attrs text)";
constexpr const char* kCreateUsers =
    "create table users (login text primary key, pass text, created_time int, login_time int, "
    "passchange_time int, first_name text, surname text)";
// One-time form tokens of forms whose action was carried out; a database made
// before they existed gains the table on first use.
constexpr const char* kCreateFormTokens =
    "create table if not exists formtokens (token text primary key, used_time int)";
// Failed sign-ins per user name: how many in the window that the first of
// them opened, and when the first and the latest were counted. A database
// made before the table existed gains it on first use.
constexpr const char* kCreateSignInFailures =
    "create table if not exists signinfailures (login text primary key, failures int, "
    "first_time int, last_time int)";
// Yields 1 when the name is locked; no row when no failure is on record.
constexpr const char* kLookupSignInFailures =
    "select failures >= cast(?2 as integer) and strftime('%s', 'now') - last_time < cast(?3 as "
    "integer) from signinfailures where login = ?1";
// Counts a failure: the first one, or the first after its window has passed,
// opens a new window.
constexpr const char* kCountSignInFailure =
    "insert into signinfailures (login, failures, first_time, last_time) values (?1, 1, "
    "strftime('%s', 'now'), strftime('%s', 'now')) on conflict (login) do update set failures = "
    "case when strftime('%s', 'now') - first_time < cast(?2 as integer) then failures + 1 else 1 "
    "end, first_time = case when strftime('%s', 'now') - first_time < cast(?2 as integer) then "
    "first_time else strftime('%s', 'now') end, last_time = strftime('%s', 'now')";
// Rows whose window and lock have both passed count for nothing.
constexpr const char* kPurgeSignInFailures =
    "delete from signinfailures where strftime('%s', 'now') - last_time >= cast(?1 as integer)";
constexpr const char* kClearSignInFailures = "delete from signinfailures where login = ?";
constexpr const char* kBegin = "begin";
constexpr const char* kBeginImmediate = "begin immediate";
constexpr const char* kCommit = "commit";
constexpr const char* kInsertAdmin =
    "insert into users (login, pass, created_time) values ('admin', ?, strftime('%s', 'now'))";
constexpr const char* kDeleteSession =
    "delete from sessions where id = ?1 or (sticky = 0 and strftime('%s', 'now') - access_time > "
    "86400) or strftime('%s', 'now') - access_time > cast(?2 as integer)";
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

// The fatal page: start, code, message part, message, end.
constexpr const char* kErrorPageStart =
    "<html><head><title>ERROR</title></head><body><h3>quib SQL error code: ";
constexpr const char* kErrorPageMessage = ", message: ";
constexpr const char* kErrorPageEnd = "</h3></body></html>\n";

constexpr const char* kInitialLogin = "admin";
constexpr const char* kInitialPassword = "482";

// A session that is not sticky expires when idle this many seconds or more.
constexpr int32_t kIdleLimit = 300;
// Lifetime of a sticky session's browser cookie, renewed on every lookup; a
// sticky session idle longer than this has expired on the server too.
constexpr int32_t kStickyCookieSeconds = 15811200;

// This many failed sign-ins of one user name within the window lock the name
// for the lock time, counted from the last of them.
constexpr int kMaxFailedSignIns = 5;
constexpr int32_t kSignInFailureWindowSeconds = 900;
constexpr int32_t kSignInLockSeconds = 900;
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
  quibSendFailure(page);
  // The failing statement may still be prepared: close once it is gone.
  sqlite3_close_v2(quib_db);
  quib_db = nullptr;
  std::exit(1);
}

// The open account database; opened on the first call of the process.
sqlite3* getQuibDb() {
  if (quib_db) return quib_db;
  const char* path = std::getenv(kAuthDbVariable);
  if (!path) path = QUIB_AUTH_DB_PATH;
  checkDBout(quibUseDurableCommits());
  checkDBout(sqlite3_open(path, &quib_db));
  // Another request may be writing a session: wait for it rather than fail.
  checkDBout(sqlite3_busy_timeout(quib_db, kQuibBusyTimeoutMs));
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

// Like execSQL for one text parameter, but a step that the database refuses
// is reported instead of ending the request. Returns true when it ran.
bool tryExecSQL(const char* sql, std::string_view p1) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(getQuibDb(), sql, -1, &raw, nullptr);
  SqliteStatement statement(raw);
  checkDBout(rc);
  checkDBout(bindText(statement.get(), 1, p1));
  rc = sqlite3_step(statement.get());
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

// Deletes the session id and, in the same statement, every session that is
// not sticky and has been idle for more than a day and every one idle longer
// than a sticky cookie lives; form tokens recorded more than a day ago go
// with them.
int deleteSession(std::string_view id) {
  if (request_session == id) request_session.reset();
  int result = execSQL(kDeleteSession, id, std::to_string(kStickyCookieSeconds));
  execSQL(kCreateFormTokens);
  execSQL(kPurgeFormTokens);
  return result;
}

// The tables and the initial account of a new account database. A sessions
// or users table that exists already makes its creation fail, which is fatal.
void createQuibTables() {
  execSQL(kCreateSessions);
  execSQL(kCreateUsers);
  execSQL(kCreateFormTokens);
  execSQL(kCreateSignInFailures);
  std::optional<std::string> pass = hashPassword(kInitialLogin, kInitialPassword);
  execSQL(kInsertAdmin, pass ? Param(*pass) : std::nullopt);
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

  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(getQuibDb(), kLookupSession, -1, &raw, nullptr);
  SqliteStatement lookup(raw);
  if (rc == SQLITE_ERROR) {
    // Taken as an account database without tables.
    lookup.reset();
    createQuibTables();
    return std::nullopt;
  }
  checkDBout(rc);
  checkDBout(bindText(lookup.get(), 1, *id));
  // A lookup the database refuses (still locked after the busy timeout, an
  // I/O error) is a failure of the database, not a request without a session.
  bool found = stepWrite(lookup.get());

  bool sticky = false;
  bool valid = false;
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
  // The access time is kept as well as the database lets it (a read-only or
  // locked file leaves the session valid); the sticky cookie is renewed only
  // with it, so that it never outlives the session's row.
  if (tryExecSQL(kTouchSession, *id) && sticky) {
    quibSetPersistentCookie(sessionCookie(*id), kStickyCookieSeconds);
  }
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
  if (oldId) deleteSession(*oldId);

  // The session is stored before its cookie is queued: a refused write ends
  // the request without handing out an id that names nothing.
  execSQL(kTouchUser, login);
  execSQL(kInsertSession, *id, login, sticky ? "1" : "0");
  if (sticky) {
    quibSetPersistentCookie(sessionCookie(*id), kStickyCookieSeconds);
  } else {
    quibSetCookie(sessionCookie(*id));
  }
  request_session = *id;
  return *id;
}

int quibVerifyUserPass(std::string_view login, std::string_view password) {
  // Declared before the statement, which binds it without a copy.
  std::optional<std::string> pass;
  sqlite3_stmt* raw = nullptr;
  int rc;
  // A missing table gives SQLITE_ERROR: create the schema and try again. Once
  // the tables exist a second creation is fatal, so this ends.
  while ((rc = sqlite3_prepare_v2(getQuibDb(), kCheckUser, -1, &raw, nullptr)) == SQLITE_ERROR) {
    createQuibTables();
  }
  SqliteStatement check(raw);
  checkDBout(rc);
  execSQL(kCreateSignInFailures);

  // The failure count is read and written in one write transaction, so that
  // concurrent attempts take turns and each sees the count of those before
  // it (the lock is taken at once; a read-only file still lets a check that
  // writes nothing through).
  execSQL(kBeginImmediate);
  const std::string maxFailures = std::to_string(kMaxFailedSignIns);
  const std::string lockSeconds = std::to_string(kSignInLockSeconds);
  sqlite3_stmt* rawFailures = nullptr;
  rc = sqlite3_prepare_v2(getQuibDb(), kLookupSignInFailures, -1, &rawFailures, nullptr);
  SqliteStatement failures(rawFailures);
  checkDBout(rc);
  checkDBout(bindText(failures.get(), 1, login));
  checkDBout(bindText(failures.get(), 2, maxFailures));
  checkDBout(bindText(failures.get(), 3, lockSeconds));
  const bool failedBefore = stepWrite(failures.get());
  const bool locked = failedBefore && sqlite3_column_int(failures.get(), 0) != 0;
  failures.reset();

  // A locked name is refused before any digest is computed.
  int result = kQuibSignInLocked;
  if (!locked) {
    pass = hashPassword(login, password);
    bool valid = false;
    if (pass) {
      checkDBout(bindText(check.get(), 1, login));
      checkDBout(bindText(check.get(), 2, *pass));
      valid = stepWrite(check.get());
    }
    if (valid) {
      if (failedBefore) execSQL(kClearSignInFailures, login);
      result = kQuibSignInValid;
    } else {
      execSQL(kPurgeSignInFailures,
              std::to_string(std::max(kSignInFailureWindowSeconds, kSignInLockSeconds)));
      execSQL(kCountSignInFailure, login, std::to_string(kSignInFailureWindowSeconds));
      result = kQuibSignInInvalid;
    }
  }
  check.reset();
  execSQL(kCommit);
  return result;
}

int quibChangePass(std::string_view login, std::string_view oldPassword,
                   std::string_view newPassword) {
  std::optional<std::string> oldPass = hashPassword(login, oldPassword);
  std::optional<std::string> newPass = hashPassword(login, newPassword);
  if (!oldPass || !newPass) return 0;
  // The new password and the end of the user's other sessions are stored
  // together or not at all.
  execSQL(kBegin);
  execSQL(kChangePass, *newPass, *oldPass, login);
  const bool changed = sqlite3_changes(getQuibDb()) > 0;
  if (changed) {
    execSQL(kEndOtherSessions, login, request_session ? Param(*request_session) : std::nullopt);
  }
  execSQL(kCommit);
  return changed ? 1 : 0;
}

int quibUsesInitialPassword(std::string_view login) {
  if (login != kInitialLogin) return 0;
  // Declared before the statement's run, which binds it without a copy.
  std::optional<std::string> initial = hashPassword(kInitialLogin, kInitialPassword);
  if (!initial) return 0;
  return execSQL(kCheckUser, login, *initial);
}

std::optional<std::string> quibNewFormToken() {
  return newFormToken();
}

int quibClaimFormToken(std::string_view token) {
  execSQL(kCreateFormTokens);
  execSQL(kClaimFormToken, token);
  return sqlite3_changes(getQuibDb()) == 1 ? 1 : 0;
}

void quibClose() {
  sqlite3_close(quib_db);
  quib_db = nullptr;
}
