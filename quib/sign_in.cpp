// Sign-in attempts: the check of a user name and password, and the count of
// failed attempts per user name and source address that makes a guesser wait.
//
// The first failures are free (typing errors); from then on every attempt of
// the pair must wait after the latest failure, the first delay doubling with
// each further failure up to the longest. An attempt refused for waiting
// counts as a failure too, so a guesser who does not wait never gets through.
// A success forgets the pair's failures; a day without one forgets them too.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "quib/account_db.h"
#include "quib/database.h"
#include "quib/passwords.h"
#include "quib/sign_in.h"
#include "quib/sqlite_handle.h"

using namespace quibdb;

namespace {

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

constexpr int kFreeSignInFailures = 5;
constexpr int32_t kFirstSignInDelaySeconds = 15;
constexpr int32_t kLongestSignInDelaySeconds = 900;
constexpr int32_t kForgetSignInFailuresSeconds = 86400;
// At most this many pairs are on record; the ones that failed longest ago go
// first. Source addresses are kept to this many bytes.
constexpr int kMaxSignInFailureRows = 1000;
constexpr size_t kMaxAddressBytes = 64;

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

// Looks up the failures of login from the request's source address: the
// statement holds the pair's row, if any, once the lookup has stepped.
SqliteStatement lookUpFailures(std::string_view login, std::string_view address) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(getQuibDb(), kLookupSignInFailures, -1, &raw, nullptr);
  SqliteStatement failures(raw);
  checkDBout(rc);
  checkDBout(bindText(failures.get(), 1, login));
  checkDBout(bindText(failures.get(), 2, address));
  return failures;
}

// Seconds that the pair of a looked-up row must still wait; 0 when it may
// try. A latest failure "in the future" (the clock was set back) holds
// nothing.
int64_t waitLeft(sqlite3_stmt* failures) {
  const int64_t sinceLatest = sqlite3_column_int64(failures, 1);
  const int64_t delay = signInDelaySeconds(sqlite3_column_int64(failures, 0));
  return sinceLatest >= 0 && sinceLatest < delay ? delay - sinceLatest : 0;
}

}  // namespace

namespace quibdb {

int64_t signInWaitSeconds(std::string_view login) {
  useSignInFailuresTable();
  SqliteStatement failures = lookUpFailures(login, sourceAddress());
  return stepWrite(failures.get()) ? waitLeft(failures.get()) : 0;
}

void countSignInFailure(std::string_view login) {
  useSignInFailuresTable();
  inTransaction([&] {
    execSQL(kCountSignInFailure, login, sourceAddress());
    purgeSignInFailures();
  });
}

}  // namespace quibdb

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
  SqliteStatement failures = lookUpFailures(login, address);
  const bool failedBefore = stepWrite(failures.get());
  const bool locked = failedBefore && waitLeft(failures.get()) > 0;
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
