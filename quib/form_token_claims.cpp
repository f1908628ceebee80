// Spent form tokens: a token is spent once. The request that carries out its
// form records it in a write transaction of the account database that stays
// open until the action has committed, so that a failed action leaves the
// token usable and a second request with the same token waits and then finds
// it spent.
#include <sqlite3.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "quib/account_db.h"
#include "quib/form_tokens.h"

using namespace quibdb;

namespace {

constexpr const char* kClaimFormToken =
    "insert or ignore into formtokens (token, used_time) values (?, strftime('%s', 'now'))";
// Keeps the most recently recorded form tokens, up to the cap.
constexpr const char* kCapFormTokens =
    "delete from formtokens where rowid not in (select rowid from formtokens order by used_time "
    "desc, rowid desc limit cast(?1 as integer))";

// Used form tokens on record, and the longest text that can be one.
constexpr int kMaxFormTokens = 1000;
constexpr size_t kMaxFormTokenBytes = 128;

// The token this request has recorded: one form may change the password
// and then carry out its timer action.
std::optional<std::string> claimed_token;

}  // namespace

int quibClaimFormToken(std::string_view token) {
  // A text longer than any token is none the interface drew.
  if (token.size() > kMaxFormTokenBytes) return 0;
  execSQL(kCreateFormTokens);
  // The claim, the access time and the purges are one commit; a claim made
  // inside the caller's transaction commits with it.
  bool claimed = false;
  inTransaction([&] {
    execSQL(kClaimFormToken, token);
    claimed = sqlite3_changes(getQuibDb()) == 1;
    if (claimed) execSQL(kCapFormTokens, std::to_string(kMaxFormTokens));
    writeAlong();
  });
  return claimed ? 1 : 0;
}

int quibBeginFormTokenClaim(std::string_view token) {
  execSQL(kBeginImmediate);
  if (claimed_token == token) return 1;
  if (quibClaimFormToken(token) == 1) {
    claimed_token = std::string(token);
    return 1;
  }
  execSQL(kRollback);
  return 0;
}

void quibCommitFormTokenClaim() {
  if (sqlite3_get_autocommit(quibAccountDb()) == 0) execSQL(kCommit);
}

void quibReleaseFormTokenClaim() {
  if (sqlite3_get_autocommit(quibAccountDb()) == 0) execSQL(kRollback);
  claimed_token.reset();
}
