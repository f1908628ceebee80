// Tokens of the JSON interface and of the calendar feed.
//
// A token is "skd_" and 32 lowercase hexadecimal digits: 128 bits from the
// kernel's random source. The account database keeps only the SHA-1 digest
// of the token's text; with that much entropy no salt or stretching is
// needed, and a check is one lookup by digest. Wrong tokens are counted per
// source address with the failed sign-ins, under a user name that no account
// can have, and make that address wait as wrong passwords do.
//
// A valid token writes nothing to the databases (a read of the interface
// must not wear the recorder's flash): its last use is the time of a small
// file of its own in the runtime directory, which lives in memory and is
// empty after every start of the recorder.
#include "quib/api_tokens.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quib/account_db.h"
#include "quib/database.h"
#include "quib/session_id.h"
#include "quib/sqlite_handle.h"
#include "sha1/sha1.h"
#include "skedra_paths.h"

using namespace quibdb;

namespace {

constexpr std::string_view kTokenPrefix = "skd_";
constexpr size_t kTokenDigits = 32;
// The user name under which wrong tokens are counted: no account has a name
// with a control character in it.
constexpr std::string_view kApiLogin =
    "\x01"
    "api";
// The file of a token's last use: this prefix and the first digits of its
// digest, in the runtime directory.
constexpr const char* kLastUsePrefix = SKEDRA_RUN_DIR "/skedra-token-";
constexpr size_t kLastUseDigestDigits = 16;

constexpr const char* kProbeApiTokens = "select digest from apitokens";
constexpr const char* kInsertToken =
    "insert into apitokens (login, name, scope, digest, created) values (?1, ?2, ?3, ?4, "
    "strftime('%s', 'now'))";
constexpr const char* kLookupToken = "select login, scope from apitokens where digest = ?1";
constexpr const char* kListTokens =
    "select id, name, scope, created, digest from apitokens where login = ?1 order by id";
constexpr const char* kTokenDigest =
    "select digest from apitokens where login = ?1 and id = cast(?2 as integer)";
constexpr const char* kDeleteToken =
    "delete from apitokens where login = ?1 and id = cast(?2 as integer)";
constexpr const char* kFeedDigests =
    "select digest from apitokens where login = ?1 and scope = 'feed'";
constexpr const char* kDeleteFeed = "delete from apitokens where login = ?1 and scope = 'feed'";
constexpr const char* kAllDigests = "select digest from apitokens where login = ?1";
constexpr const char* kDeleteAll = "delete from apitokens where login = ?1";

// Reported when no random source can be read for a new token.
constexpr const char* kNoRandomSource = "cannot read the system random source";

// The stored names of the scopes.
constexpr std::string_view kScopeNames[] = {"read", "write", "feed"};

std::string_view scopeName(ApiScope scope) {
  return kScopeNames[static_cast<size_t>(scope)];
}

std::optional<ApiScope> scopeOf(std::string_view name) {
  for (size_t i = 0; i < std::size(kScopeNames); ++i) {
    if (kScopeNames[i] == name) return static_cast<ApiScope>(i);
  }
  return std::nullopt;
}

// The 40 lowercase hexadecimal digits of the SHA-1 digest of text.
std::string digestOf(std::string_view text) {
  SHA1State state;
  SHA1Reset(state);
  SHA1Input(state, reinterpret_cast<const uint8_t*>(text.data()),
            static_cast<uint32_t>(text.size()));
  SHA1Result(state);
  std::string hex;
  hex.reserve(40);
  for (uint32_t word : state.digest) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(word));
    hex += digits;
  }
  return hex;
}

// True when text has the form of a token; anything else is no token and is
// not looked up.
bool hasTokenForm(std::string_view text) {
  if (text.size() != kTokenPrefix.size() + kTokenDigits) return false;
  if (text.substr(0, kTokenPrefix.size()) != kTokenPrefix) return false;
  for (char c : text.substr(kTokenPrefix.size())) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// A new token's text; a request without a random source ends here.
std::string newTokenText() {
  std::optional<std::string> bits = newFormToken();
  if (!bits) failRequest(SQLITE_IOERR, kNoRandomSource);
  return std::string(kTokenPrefix) + *bits;
}

std::string lastUsePath(std::string_view digest) {
  return kLastUsePrefix + std::string(digest.substr(0, kLastUseDigestDigits));
}

// Notes a use of the token with this digest: the time of its file.
void noteUse(std::string_view digest) {
  const std::string path = lastUsePath(digest);
  if (utime(path.c_str(), nullptr) == 0 || errno != ENOENT) return;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd >= 0) close(fd);
}

// The time of the token's last use since the recorder started, or none.
std::optional<int64_t> lastUse(std::string_view digest) {
  struct stat status;
  if (stat(lastUsePath(digest).c_str(), &status) != 0) return std::nullopt;
  return static_cast<int64_t>(status.st_mtime);
}

// True when the database has the table; with create it is made where it is
// missing: in the caller's open transaction, or else with every other table
// that the database lacks.
bool useTokensTable(bool create) {
  if (prepares(kProbeApiTokens)) return true;
  if (!create) return false;
  if (sqlite3_get_autocommit(getQuibDb()) != 0) {
    prepareWithTables(kProbeApiTokens);
  } else {
    execSQL(kCreateApiTokens);
  }
  return true;
}

// Runs sql with text parameters (bound in order) and gives the first column
// of every row it yields.
std::vector<std::string> columnOfRows(const char* sql,
                                      std::initializer_list<std::string_view> params) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(getQuibDb(), sql, -1, &raw, nullptr);
  SqliteStatement statement(raw);
  checkDBout(rc);
  int position = 0;
  for (std::string_view param : params) checkDBout(bindText(statement.get(), ++position, param));
  std::vector<std::string> values;
  while (stepWrite(statement.get())) {
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    if (text) {
      values.emplace_back(reinterpret_cast<const char*>(text),
                          static_cast<size_t>(sqlite3_column_bytes(statement.get(), 0)));
    }
  }
  return values;
}

// Forgets the last use of each token of these digests (the tokens are gone).
void forgetUses(const std::vector<std::string>& digests) {
  for (const std::string& digest : digests) unlink(lastUsePath(digest).c_str());
}

// Stores a new token of login and gives its text.
std::string storeToken(std::string_view login, std::string_view name, ApiScope scope) {
  const std::string token = newTokenText();
  const std::string digest = digestOf(token);
  columnOfRows(kInsertToken, {login, name, scopeName(scope), digest});
  writeAlong();
  return token;
}

// Checks token as quibCheckApiToken does: feed tokens only with feed, the
// others only without.
ApiTokenCheck checkToken(std::string_view token, ApiTokenUse* use, bool feed) {
  if (signInWaitSeconds(kApiLogin) > 0) {
    // Refused unchecked, and counted like a wrong token: a guesser who does
    // not wait never gets through.
    countSignInFailure(kApiLogin);
    return ApiTokenCheck::kLocked;
  }
  if (hasTokenForm(token) && useTokensTable(false)) {
    const std::string digest = digestOf(token);
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(getQuibDb(), kLookupToken, -1, &raw, nullptr);
    SqliteStatement lookup(raw);
    checkDBout(rc);
    checkDBout(bindText(lookup.get(), 1, digest));
    if (stepWrite(lookup.get())) {
      const auto* login = reinterpret_cast<const char*>(sqlite3_column_text(lookup.get(), 0));
      const auto* scopeText = reinterpret_cast<const char*>(sqlite3_column_text(lookup.get(), 1));
      const std::optional<ApiScope> scope =
          scopeOf(scopeText ? std::string_view(scopeText) : std::string_view());
      if (login && scope && (*scope == ApiScope::kFeed) == feed) {
        if (use) {
          use->login.assign(login, static_cast<size_t>(sqlite3_column_bytes(lookup.get(), 0)));
          use->scope = *scope;
        }
        lookup.reset();
        noteUse(digest);
        return ApiTokenCheck::kValid;
      }
    }
  }
  countSignInFailure(kApiLogin);
  return ApiTokenCheck::kInvalid;
}

}  // namespace

std::string quibCreateApiToken(std::string_view login, std::string_view name, ApiScope scope) {
  assert(scope != ApiScope::kFeed);
  std::string token;
  useTokensTable(true);
  inTransaction([&] { token = storeToken(login, name, scope); });
  return token;
}

std::string quibRotateFeedToken(std::string_view login) {
  std::string token;
  useTokensTable(true);
  inTransaction([&] {
    forgetUses(columnOfRows(kFeedDigests, {login}));
    execSQL(kDeleteFeed, login);
    token = storeToken(login, "", ApiScope::kFeed);
  });
  return token;
}

bool quibRevokeApiToken(std::string_view login, int64_t id) {
  if (!useTokensTable(false)) return false;
  const std::string idText = std::to_string(id);
  bool revoked = false;
  inTransaction([&] {
    const std::vector<std::string> digests = columnOfRows(kTokenDigest, {login, idText});
    revoked = !digests.empty();
    if (revoked) {
      execSQL(kDeleteToken, login, idText);
      writeAlong();
    }
    forgetUses(digests);
  });
  return revoked;
}

void quibRevokeAllApiTokens(std::string_view login) {
  if (!useTokensTable(false)) return;
  inTransaction([&] {
    forgetUses(columnOfRows(kAllDigests, {login}));
    execSQL(kDeleteAll, login);
  });
}

std::vector<ApiTokenInfo> quibListApiTokens(std::string_view login) {
  std::vector<ApiTokenInfo> tokens;
  if (!useTokensTable(false)) return tokens;
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(getQuibDb(), kListTokens, -1, &raw, nullptr);
  SqliteStatement list(raw);
  checkDBout(rc);
  checkDBout(bindText(list.get(), 1, login));
  while (stepWrite(list.get())) {
    sqlite3_stmt* row = list.get();
    const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(row, 1));
    const auto* scopeText = reinterpret_cast<const char*>(sqlite3_column_text(row, 2));
    const auto* digest = reinterpret_cast<const char*>(sqlite3_column_text(row, 4));
    const std::optional<ApiScope> scope =
        scopeOf(scopeText ? std::string_view(scopeText) : std::string_view());
    // A row of a scope this program does not know is no token of it.
    if (!scope || !digest) continue;
    ApiTokenInfo info;
    info.id = sqlite3_column_int64(row, 0);
    if (name) info.name.assign(name, static_cast<size_t>(sqlite3_column_bytes(row, 1)));
    info.scope = *scope;
    info.created = sqlite3_column_int64(row, 3);
    info.lastUsed = lastUse(digest);
    tokens.push_back(std::move(info));
  }
  return tokens;
}

ApiTokenCheck quibCheckApiToken(std::string_view token, ApiTokenUse* use) {
  return checkToken(token, use, false);
}

ApiTokenCheck quibCheckFeedToken(std::string_view token, ApiTokenUse* use) {
  return checkToken(token, use, true);
}

int32_t quibApiTokenRetryAfter() {
  const int64_t wait = signInWaitSeconds(kApiLogin);
  return static_cast<int32_t>(wait > 0 ? wait : 1);
}
