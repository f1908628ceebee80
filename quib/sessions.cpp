// Sign-in sessions: their lookup by the request's cookie or parameter, their
// idle limits, their creation and their end.
#include <sqlite3.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "quib/account_db.h"
#include "quib/cookies.h"
#include "quib/database.h"
#include "quib/params.h"
#include "quib/passwords.h"
#include "quib/session_id.h"
#include "quib/sessions.h"
#include "quib/sqlite_handle.h"

using namespace quibdb;

namespace {

constexpr const char* kDeleteSession = "delete from sessions where id = ?";
constexpr const char* kLookupSession =
    "select access_time, sticky, login from sessions where id = ?";

constexpr const char* kReadLanguage = "select tag from languages where login = ?";
constexpr const char* kStoreLanguage =
    "insert or replace into languages (login, tag) values (?, ?)";
constexpr const char* kClearLanguage = "delete from languages where login = ?";
constexpr const char* kTouchUser =
    "update users set login_time = strftime('%s', 'now') where login = ?";
constexpr const char* kInsertSession =
    "insert into sessions (id, login, created_time, access_time, sticky) values (?, ?, "
    "strftime('%s', 'now'), strftime('%s', 'now'), ?)";
// Ends the user's sessions beyond the most recently used ones, up to the cap.
constexpr const char* kCapUserSessions =
    "delete from sessions where login = ?1 and rowid not in (select rowid from sessions where "
    "login = ?1 order by access_time desc, created_time desc, rowid desc limit cast(?2 as "
    "integer))";

// The sign-in proof of a session, in a column that databases made before it
// gain on first use; older rows have none and never match.
constexpr const char* kProbeSignInProof = "select signin_proof from sessions";
constexpr const char* kAddSignInProof = "alter table sessions add column signin_proof text";
constexpr const char* kStoreSignInProof = "update sessions set signin_proof = ?1 where id = ?2";
constexpr const char* kCheckSignInProof =
    "select 1 from sessions where id = ?1 and signin_proof = ?2 and strftime('%s', 'now') - "
    "created_time between 0 and cast(?3 as integer) - 1";

// A session that is not sticky expires when idle this many seconds or more.
constexpr int32_t kIdleLimit = 300;
// A lookup stores the access time only once the stored one is this many
// seconds old: page views within a minute write nothing (a session may thus
// end up to a minute before its idle limit counted from the latest view).
constexpr int32_t kTouchInterval = 60;
// Sessions of one user beyond this many end, the least recently used first.
constexpr int kMaxSessionsPerUser = 16;
// Attributes of the session cookie: not readable by page scripts, not sent
// with requests that other sites start.
constexpr std::string_view kSessionCookieAttributes = "; HttpOnly; SameSite=Strict";

// Reported when no random source can be read for a new session id.
constexpr const char* kNoRandomSource = "cannot read the system random source";

// The session this request uses: the one its lookup found valid or the one
// it created. A password change keeps it and ends the user's others.
std::optional<std::string> request_session;

// The language choice that this request stored, and whose it is.
struct LookedUpLanguage {
  std::string login;
  std::optional<std::string> tag;
};
std::optional<LookedUpLanguage> looked_up_language;

// Column of a row as text; none for NULL.
std::optional<std::string> columnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  if (!text) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

// Deletes the session id and, in the same transaction, every session that
// has expired for good and form tokens recorded more than a day ago.
int deleteSession(std::string_view id) {
  if (request_session == id) request_session.reset();
  dropPendingTouch(id);
  int result = 0;
  inTransaction([&] {
    result = execSQL(kDeleteSession, id);
    writeAlong();
  });
  return result;
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
  if (touchDue) setPendingTouch(*id);
  if (sticky) quibSetPersistentCookie(sessionCookie(*id), remaining);
  return login;
}

int quibExpireSession(std::string_view id) {
  // The browser's cookie goes only once the session is gone.
  int result = deleteSession(id);
  quibRemoveCookie(quibSessionCookieName);
  return result;
}

std::string quibCreateSession(std::string_view login, int sticky, std::string* proof) {
  std::optional<std::string> oldId = quibGetSessionCookie();
  std::optional<std::string> id = newSessionId();
  // Only the digest of the proof is stored: reading the database does not
  // give it.
  std::optional<std::string> secret = proof ? newFormToken() : std::nullopt;
  std::optional<std::string> digest = secret ? hashPassword(*id, *secret) : std::nullopt;
  // Without a random source no id is safe to hand out.
  if (!id || (proof && !digest)) failRequest(SQLITE_IOERR, kNoRandomSource);
  // One write transaction for all of it: concurrent sign-ins queue for the
  // database once each, not once for every statement.
  execSQL(kBeginImmediate);
  if (oldId) deleteSession(*oldId);

  // The session is stored before its cookie is queued: a refused write ends
  // the request without handing out an id that names nothing.
  execSQL(kTouchUser, login);
  execSQL(kInsertSession, *id, login, sticky ? "1" : "0");
  execSQL(kCapUserSessions, login, std::to_string(kMaxSessionsPerUser));
  if (digest) {
    // Within the write lock: concurrent sign-ins add the column once.
    if (!prepares(kProbeSignInProof)) execSQL(kAddSignInProof);
    execSQL(kStoreSignInProof, *digest, *id);
    *proof = std::move(*secret);
  }
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

int quibSignInProofValid(std::string_view proof) {
  if (!request_session || proof.empty() || !prepares(kProbeSignInProof)) return 0;
  // Declared before the statement's run, which binds it without a copy.
  const std::optional<std::string> digest = hashPassword(*request_session, proof);
  if (!digest) return 0;
  return execSQL(kCheckSignInProof, *request_session, *digest,
                 std::to_string(kQuibSignInProofSeconds));
}

std::optional<std::string> quibRequestSession() {
  return request_session;
}

// The table of choices is made by the first choice: until then an account
// database has no table more to load with every request, and the read fails
// to prepare, which costs less than a read.
std::optional<std::string> quibAccountLanguage(std::string_view login) {
  if (looked_up_language && looked_up_language->login == login) return looked_up_language->tag;
  SqliteStatement read = prepareIfTables(kReadLanguage);
  if (!read) return std::nullopt;
  checkDBout(bindText(read.get(), 1, login));
  return stepWrite(read.get()) ? columnText(read.get(), 0) : std::nullopt;
}

void quibStoreAccountLanguage(std::string_view login, std::string_view tag) {
  inTransaction([&] {
    if (!tag.empty()) {
      execSQL(kCreateLanguages);
      execSQL(kStoreLanguage, login, tag);
    } else if (prepares(kClearLanguage)) {
      execSQL(kClearLanguage, login);
    }
  });
  looked_up_language = LookedUpLanguage{
      std::string(login), tag.empty() ? std::nullopt : std::optional<std::string>(tag)};
}
