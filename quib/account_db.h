// The account database as the toolkit's own files reach it: the handle, the
// statement runners that end the request on a refusal, the tables that are
// made again where missing, and the writes that ride along with others.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quib/sqlite_handle.h"

// The open account database; opened on the first call of the process. A
// failure to open it ends the request through checkDBout, or with mayFail
// gives none.
sqlite3* quibAccountDb(bool mayFail = false);
// The id of the session this request uses (the one its lookup found valid or
// the one it created), or none.
std::optional<std::string> quibRequestSession();

namespace quibdb {

inline constexpr const char* kBegin = "begin";
inline constexpr const char* kBeginImmediate = "begin immediate";
inline constexpr const char* kRollback = "rollback";
inline constexpr const char* kCommit = "commit";

// One-time form tokens of forms whose action was carried out; a database made
// before they existed gains the table on first use.
inline constexpr const char* kCreateFormTokens =
    "create table if not exists formtokens (token text primary key, used_time int)";
// Failed sign-ins per user name and source address: how many since the
// pair's last success, and when the latest was counted. A database made
// before the table existed gains it on first use; one whose table counted
// per user name only has it replaced (see useSignInFailuresTable).
inline constexpr const char* kCreateSignInFailures =
    "create table if not exists signinfailures (login text, address text, failures int, "
    "last_time int, primary key (login, address))";
// Tokens of the JSON interface and of the calendar feed (api_tokens.cpp):
// only the digest of a token is stored. A database made before the table
// existed gains it on first use.
inline constexpr const char* kCreateApiTokens =
    "create table if not exists apitokens (id integer primary key, login text not null, name "
    "text not null, scope text not null, digest text not null unique, created int not null)";

// The language each account chose on the pages; made by the first choice.
inline constexpr const char* kCreateLanguages =
    "create table if not exists languages (login text primary key, tag text not null)";

// 1 when the account has this stored password.
inline constexpr const char* kCheckUser = "select 1 from users where login = ? and pass = ?";

// Lifetime of a sticky session's browser cookie, renewed on every lookup; a
// sticky session idle longer than this has expired on the server too.
inline constexpr int32_t kStickyCookieSeconds = 15811200;

// The open account database (see quibAccountDb).
sqlite3* getQuibDb(bool mayFail = false);
// True while the account database is open.
bool accountDbOpen();
// Writes the fatal page for code and message in place of any page text
// written so far, closes the account database and ends the process with exit
// status 1. Cookie lines queued so far go out with the one header.
[[noreturn]] void failRequest(int code, std::string message);

// Binds text at position (explicit length, no copy: the caller keeps the text
// alive until the statement is finalised).
int bindText(sqlite3_stmt* statement, int position, std::string_view text);
// Steps a statement; a refused write or read ends the request.
// Returns true when the step yielded a row.
bool stepWrite(sqlite3_stmt* statement);

using Param = std::optional<std::string_view>;
// Runs sql once with up to three text parameters; an absent one leaves its
// position unbound (NULL). Returns 1 when the statement yielded a row.
int execSQL(const char* sql, Param p1 = std::nullopt, Param p2 = std::nullopt,
            Param p3 = std::nullopt);
// Like execSQL for at most one text parameter, but whatever the database
// refuses is reported instead of ending the request. True when it ran.
bool tryExecSQL(const char* sql, Param p1 = std::nullopt);
// Runs write within the caller's open transaction, or else in one of its own:
// one journal and one set of syncs for all of it.
template <typename Write>
void inTransaction(Write write) {
  const bool ownTransaction = sqlite3_get_autocommit(getQuibDb()) != 0;
  if (ownTransaction) execSQL(kBegin);
  write();
  if (ownTransaction) execSQL(kCommit);
}

// Prepares sql; when a table it names is missing (SQLITE_ERROR) the tables
// are made first. A statement that still cannot be prepared (a database of
// another layout) ends the request.
SqliteStatement prepareWithTables(const char* sql);
// True when sql prepares; false when a table or column it names is missing.
bool prepares(const char* sql);
// The statement of sql; none when a table or column it names is missing.
// Makes no table.
SqliteStatement prepareIfTables(const char* sql);
// A file made before freed pages were given back is rebuilt once so that it
// does; a request that cannot have the database to itself leaves it to a
// later one.
void reclaimFreedPagesOnce();

// Seconds that attempts of login from the request's source address must
// still wait after repeated failures (sign_in.cpp); 0 when they may try.
// Reads the count only.
int64_t signInWaitSeconds(std::string_view login);
// Counts a failed attempt of login from the request's source address, in the
// caller's open transaction or in one of its own.
void countSignInFailure(std::string_view login);

// The stored password of the initial account, or none.
std::optional<std::string> initialPasswordDigest();

// The session whose access time the request's lookup found due: it is stored
// with the request's next write of the account database (writeAlong), or on
// its own when the database is closed (writePendingTouch).
void setPendingTouch(std::string_view id);
// Forgets the access time due for a session that is being deleted.
void dropPendingTouch(std::string_view id);
// Within a write transaction that the request makes anyway: stores the access
// time due and purges expired sessions and old form tokens, so that these
// cost no commit of their own.
void writeAlong();
// Stores the access time still due, with the purges, in a transaction of its
// own. Nothing here ends the request (the response may be out already).
void writePendingTouch();

}  // namespace quibdb
