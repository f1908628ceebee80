// Sign-in sessions and user accounts, kept in the account database.
//
// The database is opened on first use and stays open for the rest of the
// request (one process per request). Its schema and the initial account are
// created on demand. Every failure of the database ends the request through
// checkDBout with a short error page and exit status 1.
#include <sqlite3.h>

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
constexpr const char* kInsertAdmin =
    "insert into users (login, pass, created_time) values ('admin', ?, strftime('%s', 'now'))";
constexpr const char* kDeleteSession =
    "delete from sessions where id = ? or (sticky = 0 and strftime('%s', 'now') - access_time > "
    "86400)";
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

// The fatal page: start, code, message part, message, end.
constexpr const char* kErrorPageStart =
    "<html><head><title>ERROR</title></head><body><h3>quib SQL error code: ";
constexpr const char* kErrorPageMessage = ", message: ";
constexpr const char* kErrorPageEnd = "</h3></body></html>\n";

constexpr const char* kInitialLogin = "admin";
constexpr const char* kInitialPassword = "482";

// A session that is not sticky expires when idle this many seconds or more.
constexpr int32_t kIdleLimit = 300;
// Lifetime of a sticky session's browser cookie, renewed on every lookup.
constexpr int32_t kStickyCookieSeconds = 15811200;
// Attributes of the session cookie: not readable by page scripts, not sent
// with requests that other sites start.
constexpr std::string_view kSessionCookieAttributes = "; HttpOnly; SameSite=Strict";

// Reported when no random source can be read for a new session id.
constexpr const char* kNoRandomSource = "cannot read the system random source";

sqlite3* quib_db = nullptr;
int quib_db_ret = 0;
std::string quib_db_msg;

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

// Deletes the session id and, in the same statement, every session that is
// not sticky and has been idle for more than a day; form tokens recorded more
// than a day ago go with them.
int deleteSession(std::string_view id) {
  int result = execSQL(kDeleteSession, id);
  execSQL(kCreateFormTokens);
  execSQL(kPurgeFormTokens);
  return result;
}

// The two tables and the initial account of a new account database. A table
// that exists already makes its creation fail, which is fatal.
void createQuibTables() {
  execSQL(kCreateSessions);
  execSQL(kCreateUsers);
  execSQL(kCreateFormTokens);
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
    if (name && (sticky || idle < kIdleLimit)) {
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
  execSQL(kTouchSession, *id);
  if (sticky) quibSetPersistentCookie(sessionCookie(*id), kStickyCookieSeconds);
  return login;
}

int quibExpireSession(std::string_view id) {
  quibRemoveCookie(quibSessionCookieName);
  return deleteSession(id);
}

std::string quibCreateSession(std::string_view login, int sticky) {
  std::optional<std::string> oldId = quibGetSessionCookie();
  std::optional<std::string> id = newSessionId();
  // Without a random source no id is safe to hand out.
  if (!id) failRequest(SQLITE_IOERR, kNoRandomSource);
  if (oldId) deleteSession(*oldId);

  if (sticky) {
    quibSetPersistentCookie(sessionCookie(*id), kStickyCookieSeconds);
  } else {
    quibSetCookie(sessionCookie(*id));
  }
  execSQL(kTouchUser, login);
  execSQL(kInsertSession, *id, login, sticky ? "1" : "0");
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

  pass = hashPassword(login, password);
  if (!pass) return 0;
  checkDBout(bindText(check.get(), 1, login));
  checkDBout(bindText(check.get(), 2, *pass));
  return stepWrite(check.get()) ? 1 : 0;
}

int quibChangePass(std::string_view login, std::string_view oldPassword,
                   std::string_view newPassword) {
  std::optional<std::string> oldPass = hashPassword(login, oldPassword);
  std::optional<std::string> newPass = hashPassword(login, newPassword);
  if (!oldPass || !newPass) return 0;
  execSQL(kChangePass, *newPass, *oldPass, login);
  return sqlite3_changes(getQuibDb()) > 0 ? 1 : 0;
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
