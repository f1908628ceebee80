// Sessions and accounts against real temporary account databases.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "quib/quib.h"
#include "quib/session_id.h"
#include "sha1/sha1.h"
#include "support/test_env.h"

namespace {

const std::string kContentType = std::string(kPageHeaderEnd) + "\n";

// The fatal page, with the status of its code: 503 for a database that
// another connection held too long, else 500.
std::string fatalPage(int code, const std::string& message) {
  const std::string status =
      code == 5 ? "Status: 503 Service Unavailable\n" : "Status: 500 Internal Server Error\n";
  return status + kContentType +
         "<html><head><title>ERROR</title></head><body><h3>quib SQL error code: " +
         std::to_string(code) + ", message: " + message + "</h3></body></html>\n";
}

// What a function run in a child process wrote to standard output, and how
// the child ended.
struct ChildResult {
  int exitStatus = -1;  // -1 when the child did not exit normally
  std::string out;
};

// Runs body in a child process (the account database handle, the cookie
// queue and the parameters are process-wide). A body that returns ends the
// child with status 0.
ChildResult runInChild(const std::function<void()>& body) {
  quibClose();  // an SQLite connection must not cross a fork
  std::fflush(stdout);
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    body();
    quibSendResponse();
    _exit(0);
  }
  close(fds[1]);
  ChildResult result;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, got);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}

// The Set-Cookie lines queued so far (and empties the queue).
std::string takeQueuedCookies() {
  testing::internal::CaptureStdout();
  quibPrintHttpHeader();
  quibSendResponse();
  std::string header = testing::internal::GetCapturedStdout();
  EXPECT_GE(header.size(), kContentType.size());
  return header.substr(0, header.size() - kContentType.size());
}

void setQuery(const std::string& query) {
  setenv("REQUEST_METHOD", "GET", 1);
  setenv("QUERY_STRING", query.c_str(), 1);
  parseParams();
}

void setCookieHeader(const std::string& header) {
  setenv("HTTP_COOKIE", header.c_str(), 1);
}

// Returns at the start of a new second of the clock, so that a test that
// stores times relative to now has most of a second before now moves on.
void waitForFreshSecond() {
  std::time_t start = std::time(nullptr);
  while (std::time(nullptr) == start) usleep(2000);
}

// The 40 hexadecimal digits that coreutils' sha1sum gives for message.
std::string sha1sumHex(const std::string& message) {
  TempDir dir;
  writeFile(dir.file("message"), message);
  std::string command = "sha1sum '" + dir.file("message") + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  char line[256] = {};
  std::string hex;
  if (std::fgets(line, sizeof line, pipe)) hex.assign(line, 40);
  pclose(pipe);
  return hex;
}

// The stored password form built from sha1sum's digest: each word without
// leading zeros, the text ending after the first word shorter than 8 digits.
std::string expectedPassForm(const std::string& login, const std::string& password) {
  std::string hex = sha1sumHex(login + " " + password);
  EXPECT_EQ(hex.size(), 40u);
  std::string form;
  for (int word = 0; word < 5; ++word) {
    std::string digits = hex.substr(word * 8, 8);
    size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? "0" : digits.substr(first);
    form += digits;
    if (digits.size() < 8) break;
  }
  return form;
}

// The five digest words of "login password" from the SHA-1 module.
std::vector<uint32_t> digestWords(const std::string& login, const std::string& password) {
  std::string message = login + " " + password;
  SHA1State state;
  SHA1Reset(state);
  SHA1Input(state, reinterpret_cast<const uint8_t*>(message.data()),
            static_cast<uint32_t>(message.size()));
  EXPECT_EQ(SHA1Result(state), 1);
  return std::vector<uint32_t>(state.digest, state.digest + 5);
}

// Adds an account row with the given stored password text.
void addAccount(TestDb& db, const std::string& login, const std::string& pass) {
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.handle(), "insert into users (login, pass) values (?, ?)", -1,
                               &statement, nullptr),
            SQLITE_OK);
  sqlite3_bind_text(statement, 1, login.data(), static_cast<int>(login.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(statement, 2, pass.data(), static_cast<int>(pass.size()), SQLITE_TRANSIENT);
  EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
  sqlite3_finalize(statement);
}

class Sessions : public testing::Test {
 protected:
  void SetUp() override {
    setenv("quibauth", dbPath.c_str(), 1);
    unsetenv("HTTP_COOKIE");
    setQuery("");
    takeQueuedCookies();
  }
  void TearDown() override {
    quibClose();
    unsetenv("HTTP_COOKIE");
    setQuery("");
    takeQueuedCookies();
  }

  // An account database with both tables and the initial account.
  void createSchema() {
    ASSERT_EQ(quibVerifyUserPass("admin", "482"), 1);
    quibClose();
  }

  // Forgets every failed sign-in on record.
  void forgetFailedSignIns() {
    quibClose();
    TestDb(dbPath).exec("delete from signinfailures");
  }

  long long sessionCount(const std::string& id) {
    TestDb db(dbPath);
    return db.integer("select count(*) from sessions where id = '" + id + "'");
  }

  TempDir dir;
  std::string dbPath = dir.file("auth.db");
};

// ---------------------------------------------------------------------------
// Schema and initial account
// ---------------------------------------------------------------------------

TEST_F(Sessions, FirstLookupCreatesTablesAndInitialAccount) {
  setCookieHeader("quibsession=1-2-3");
  EXPECT_EQ(quibGetAuthUser(), std::nullopt);
  quibClose();

  TestDb db(dbPath);
  // SQLite keeps the statement as given, apart from the keywords' case.
  EXPECT_EQ(db.scalar("select sql from sqlite_master where name = 'sessions'"),
            "CREATE TABLE sessions (id text primary key, login text, created_time int, "
            "access_time int, sticky int, attrs text)");
  EXPECT_EQ(db.scalar("select sql from sqlite_master where name = 'users'"),
            "CREATE TABLE users (login text primary key, pass text, created_time int, "
            "login_time int, passchange_time int, first_name text, surname text)");
  EXPECT_EQ(db.scalar("select sql from sqlite_master where name = 'formtokens'"),
            "CREATE TABLE formtokens (token text primary key, used_time int)");
  EXPECT_EQ(db.scalar("select sql from sqlite_master where name = 'signinfailures'"),
            "CREATE TABLE signinfailures (login text, address text, failures int, last_time int, "
            "primary key (login, address))");
  EXPECT_EQ(db.scalar("select sql from sqlite_master where name = 'apitokens'"),
            "CREATE TABLE apitokens (id integer primary key, login text not null, name text not "
            "null, scope text not null, digest text not null unique, created int not null)");
  // Freed pages go back to the file system at every commit.
  EXPECT_EQ(db.integer("pragma auto_vacuum"), 1);
  EXPECT_EQ(db.rows("select login, pass from users"),
            std::vector<std::string>{"admin|" + expectedPassForm("admin", "482")});
  EXPECT_LE(std::llabs(db.integer("select created_time from users") - std::time(nullptr)), 5);
  EXPECT_EQ(db.integer("select count(*) from sessions"), 0);
}

TEST_F(Sessions, LookupWithoutAnyIdLeavesTheDatabaseAlone) {
  EXPECT_EQ(quibGetAuthUser(), std::nullopt);
  struct stat info;
  EXPECT_NE(stat(dbPath.c_str(), &info), 0) << "the account database was opened";
}

// ---------------------------------------------------------------------------
// Password text form
// ---------------------------------------------------------------------------

TEST_F(Sessions, PasswordFormIsTheDigestOfLoginSpacePassword) {
  EXPECT_EQ(hashPassword("admin", "482"), expectedPassForm("admin", "482"));
  EXPECT_EQ(hashPassword("", ""), expectedPassForm("", ""));
  // The message does not mark where the user name ends.
  EXPECT_EQ(hashPassword("a b", "c"), hashPassword("a", "b c"));
}

// Searches a password whose digest word `word` is the first one below 2^28
// and checks the shortened text against sha1sum's digest.
void checkShortWordForm(int word) {
  const std::string login = "owner";
  std::string password;
  std::vector<uint32_t> words;
  for (int candidate = 0; candidate < 100000; ++candidate) {
    password = "pw" + std::to_string(candidate);
    words = digestWords(login, password);
    bool earlierFull = true;
    for (int i = 0; i < word; ++i) earlierFull = earlierFull && words[i] >= 0x10000000u;
    if (earlierFull && words[word] < 0x10000000u) break;
  }
  ASSERT_LT(words[word], 0x10000000u) << "no candidate found";
  std::optional<std::string> form = hashPassword(login, password);
  ASSERT_TRUE(form);
  EXPECT_EQ(*form, expectedPassForm(login, password)) << password;
  EXPECT_LE(form->size(), static_cast<size_t>(8 * word + 7));
  EXPECT_GE(form->size(), static_cast<size_t>(8 * word + 1));
}

TEST_F(Sessions, PasswordFormEndsAfterAShortFirstOrLaterWord) {
  checkShortWordForm(0);
  checkShortWordForm(1);
}

TEST_F(Sessions, StoredShortFormsSignIn) {
  createSchema();
  std::string password;
  for (int candidate = 0;; ++candidate) {
    password = "secret" + std::to_string(candidate);
    if (digestWords("shorty", password)[0] < 0x10000000u) break;
  }
  {
    TestDb db(dbPath);
    addAccount(db, "shorty", expectedPassForm("shorty", password));
  }
  EXPECT_EQ(quibVerifyUserPass("shorty", password), 1);
  EXPECT_EQ(quibChangePass("shorty", password, "other"), 1);
  EXPECT_EQ(quibVerifyUserPass("shorty", "other"), 1);
}

// ---------------------------------------------------------------------------
// Session lookups
// ---------------------------------------------------------------------------

TEST_F(Sessions, NewSessionIsFoundByItsCookie) {
  createSchema();
  // Creation and lookup within one second of the clock.
  waitForFreshSecond();
  std::string id = quibCreateSession("admin", 0);
  EXPECT_EQ(takeQueuedCookies(), "Set-Cookie: quibsession=" + id + "; HttpOnly; SameSite=Strict\n");
  setCookieHeader("other=1; quibsession=" + id);
  EXPECT_EQ(quibGetAuthUser(), "admin");
  // A plain session's cookie is not renewed by a lookup.
  EXPECT_EQ(takeQueuedCookies(), "");
  quibClose();
  TestDb db(dbPath);
  EXPECT_EQ(db.rows("select login, sticky, created_time = access_time from sessions"),
            std::vector<std::string>{"admin|0|1"});
  EXPECT_LE(std::llabs(db.integer("select login_time from users") - std::time(nullptr)), 5);
}

// A lookup stores the access time once the stored one is a minute old and
// purges the expired sessions with that write; within the minute it writes
// nothing. A plain session expires at 300 s idle; a sticky session's cookie
// lives as long as its row, which ends when idle longer than the cookie lives.
TEST_F(Sessions, AccessTimeIsStoredOnceAMinuteAndIdleLimitIsThreeHundredSeconds) {
  createSchema();
  // Idle seconds, sticky, valid, stored (the access time becomes now).
  const std::tuple<int, bool, bool, bool> rows[] = {
      {30, false, true, false},     {59, true, true, false},       {60, false, true, true},
      {61, true, true, true},       {299, false, true, true},      {300, false, false, false},
      {15811200, true, true, true}, {15811201, true, false, false}};
  for (const auto& [idle, sticky, valid, stored] : rows) {
    SCOPED_TRACE(idle);
    waitForFreshSecond();
    const long long now = std::time(nullptr);
    TestDb(dbPath).exec(
        "delete from sessions; insert into sessions (id, login, access_time, "
        "sticky) values ('1-2-3', 'admin', " +
        std::to_string(now - idle) + ", " + (sticky ? "1" : "0") + "), ('old', 'admin', 0, 0)");
    setCookieHeader("quibsession=1-2-3");
    EXPECT_EQ(quibGetAuthUser().has_value(), valid);
    const std::string cookie = takeQueuedCookies();
    quibClose();
    // A time stored now may fall into the next second.
    const long long at = stored ? now : now - idle;
    if (valid) {
      const long long kept = TestDb(dbPath).integer("select access_time from sessions");
      EXPECT_TRUE(kept == at || (stored && kept == at + 1)) << kept;
    }
    EXPECT_EQ(sessionCount("1-2-3"), valid ? 1 : 0);
    EXPECT_EQ(sessionCount("old"), valid && !stored ? 1 : 0);
    const std::string line = "quibsession=1-2-3; HttpOnly; SameSite=Strict";
    if (sticky && valid) {
      EXPECT_TRUE(cookie == quibPersistentCookieLine(line, at + 15811200) ||
                  cookie == quibPersistentCookieLine(line, at + stored + 15811200))
          << cookie;
    } else {
      EXPECT_EQ(cookie, "");
    }
  }
}

TEST_F(Sessions, StickySessionCookieLivesAsLongAsItsRow) {
  createSchema();
  waitForFreshSecond();
  const std::time_t now = std::time(nullptr);
  std::string id = quibCreateSession("admin", 1);
  EXPECT_EQ(takeQueuedCookies(),
            quibPersistentCookieLine("quibsession=" + id + "; HttpOnly; SameSite=Strict",
                                     now + 15811200));
}

TEST_F(Sessions, CookieIsLookedUpBeforeParameter) {
  createSchema();
  std::string adminId = quibCreateSession("admin", 0);
  std::string bobId = quibCreateSession("bob", 1);
  takeQueuedCookies();

  setCookieHeader("quibsession=" + adminId);
  setQuery("quibsession=" + bobId);
  EXPECT_EQ(quibGetAuthUser(), "admin");

  // The cookie wins even when it names no session.
  setCookieHeader("quibsession=0-0-0");
  EXPECT_EQ(quibGetAuthUser(), std::nullopt);

  // With the parameter only, a sticky session also gets its cookie renewed.
  unsetenv("HTTP_COOKIE");
  takeQueuedCookies();
  EXPECT_EQ(quibGetAuthUser(), "bob");
  EXPECT_EQ(takeQueuedCookies().rfind(
                "Set-Cookie: quibsession=" + bobId + "; HttpOnly; SameSite=Strict; expires=", 0),
            0u);
}

TEST_F(Sessions, UnknownIdDeletesNothing) {
  createSchema();
  {
    TestDb db(dbPath);
    db.exec(
        "insert into sessions (id, login, access_time, sticky) values "
        "('old', 'admin', strftime('%s', 'now') - 90000, 0)");
  }
  setCookieHeader("quibsession=nosuch");
  EXPECT_EQ(quibGetAuthUser(), std::nullopt);
  EXPECT_EQ(sessionCount("old"), 1);
}

TEST_F(Sessions, DeletingASessionPurgesTheExpiredOnes) {
  createSchema();
  waitForFreshSecond();
  {
    TestDb db(dbPath);
    db.exec(
        "insert into sessions (id, login, access_time, sticky) values "
        "('target', 'admin', strftime('%s', 'now'), 1), "
        "('idle86401', 'admin', strftime('%s', 'now') - 86401, 0), "
        "('idle86400', 'admin', strftime('%s', 'now') - 86400, 0), "
        "('sticky15811200', 'admin', strftime('%s', 'now') - 15811200, 1), "
        "('sticky15811201', 'admin', strftime('%s', 'now') - 15811201, 1), "
        "('fresh', 'admin', strftime('%s', 'now'), 0)");
  }
  EXPECT_EQ(quibExpireSession("target"), 0);
  EXPECT_EQ(takeQueuedCookies(),
            "Set-Cookie: quibsession=0; expires=Thu, 1-Jan-1970 00:00:00 GMT\n");
  quibClose();
  TestDb db(dbPath);
  EXPECT_EQ(db.rows("select id from sessions order by id"),
            (std::vector<std::string>{"fresh", "idle86400", "sticky15811200"}));
}

TEST_F(Sessions, TwoBrowsersHoldIndependentSessions) {
  createSchema();
  std::string first = quibCreateSession("admin", 0);
  std::string second = quibCreateSession("admin", 0);
  EXPECT_NE(first, second);
  setCookieHeader("quibsession=" + first);
  quibExpireSession(first);
  EXPECT_EQ(quibGetAuthUser(), std::nullopt);
  setCookieHeader("quibsession=" + second);
  EXPECT_EQ(quibGetAuthUser(), "admin");
}

TEST_F(Sessions, SigningInAgainEndsTheBrowsersOldSession) {
  createSchema();
  std::string old = quibCreateSession("admin", 1);
  setCookieHeader("quibsession=" + old);
  std::string fresh = quibCreateSession("admin", 0);
  EXPECT_EQ(sessionCount(old), 0);
  EXPECT_EQ(sessionCount(fresh), 1);
}

// ---------------------------------------------------------------------------
// Accounts
// ---------------------------------------------------------------------------

TEST_F(Sessions, NothingSignsInWithoutTheExactNameAndPassword) {
  EXPECT_EQ(quibVerifyUserPass("admin", "482"), 1);
  for (const char* login : {"Admin", "ADMIN", "admin ", " admin", "", "admin' --", "%"}) {
    EXPECT_EQ(quibVerifyUserPass(login, "482"), 0) << login;
  }
  for (const char* password : {"", "48", "4820", "482 ", "' or '1'='1"}) {
    EXPECT_EQ(quibVerifyUserPass("admin", password), 0) << password;
  }
  // A stored password text is not a password.
  forgetFailedSignIns();
  EXPECT_EQ(quibVerifyUserPass("admin", expectedPassForm("admin", "482")), 0);

  std::string id = quibCreateSession("admin", 0);
  for (std::string guess : {std::string("' or '1'='1"), std::string("%"), id + "0",
                            id.substr(0, id.size() - 1), std::string("")}) {
    quibClose();
    setCookieHeader("quibsession=" + guess);
    EXPECT_EQ(quibGetAuthUser(), std::nullopt) << guess;
  }
  EXPECT_EQ(sessionCount(id), 1);
}

TEST_F(Sessions, FailedSignInsHoldUpTheNameFromThatAddressOnly) {
  createSchema();
  auto failures = [this](const char* login, const char* address) {
    quibClose();
    return TestDb(dbPath).scalar("select failures from signinfailures where login = '" +
                                 std::string(login) + "' and address = '" + address + "'");
  };
  // Makes the latest failure of every pair this many seconds old.
  auto age = [this](int seconds) {
    quibClose();
    TestDb(dbPath).exec("update signinfailures set last_time = strftime('%s', 'now') - " +
                        std::to_string(seconds));
  };
  auto from = [](const char* address) { setenv("REMOTE_ADDR", address, 1); };
  // Names with and without an account are counted alike; five failures are
  // free.
  for (const char* login : {"admin", "nobody"}) {
    SCOPED_TRACE(login);
    from("192.168.1.66");
    for (int attempt = 0; attempt < 5; ++attempt) {
      EXPECT_EQ(quibVerifyUserPass(login, "bad"), kQuibSignInInvalid);
    }
    // The right password too is refused now, and the refusal counts.
    EXPECT_EQ(quibVerifyUserPass(login, "482"), kQuibSignInLocked);
    EXPECT_EQ(failures(login, "192.168.1.66"), "6");
  }
  // The owner at another address, or without one, is never held up.
  for (const char* address : {"192.168.1.10", "fe80::1", ""}) {
    from(address);
    EXPECT_EQ(quibVerifyUserPass("admin", "482"), kQuibSignInValid) << address;
  }

  // The wait after the latest failure doubles with every failure from 15
  // seconds up to 900; a refused attempt restarts it.
  waitForFreshSecond();
  const struct {
    int failuresBefore, secondsSince;
    int verdict;
  } waits[] = {
      {6, 29, kQuibSignInLocked},    {6, 30, kQuibSignInInvalid},  {7, 59, kQuibSignInLocked},
      {7, 60, kQuibSignInInvalid},   {12, 899, kQuibSignInLocked}, {40, 899, kQuibSignInLocked},
      {40, 900, kQuibSignInInvalid},
  };
  from("192.168.1.66");
  for (const auto& wait : waits) {
    SCOPED_TRACE(std::to_string(wait.failuresBefore) + " " + std::to_string(wait.secondsSince));
    quibClose();
    TestDb(dbPath).exec("update signinfailures set failures = " +
                        std::to_string(wait.failuresBefore) + " where login = 'nobody'");
    age(wait.secondsSince);
    EXPECT_EQ(quibVerifyUserPass("nobody", "bad"), wait.verdict);
    EXPECT_EQ(failures("nobody", "192.168.1.66"), std::to_string(wait.failuresBefore + 1));
  }
  // Once the wait is over, the right password signs in and forgets the
  // pair's failures; a day without failures forgets them too.
  age(900);
  EXPECT_EQ(quibVerifyUserPass("admin", "482"), kQuibSignInValid);
  EXPECT_EQ(failures("admin", "192.168.1.66"), "<none>");
  age(86400);
  EXPECT_EQ(quibVerifyUserPass("admin", "bad"), kQuibSignInInvalid);
  EXPECT_EQ(failures("nobody", "192.168.1.66"), "<none>");
  EXPECT_EQ(failures("admin", "192.168.1.66"), "1");
  unsetenv("REMOTE_ADDR");
}

// A database whose failures table counted per user name only (before the
// address was counted) is read on, its table replaced.
// Its file, made before freed pages were given back, is rebuilt to do so at
// the owner's next sign-in.
TEST_F(Sessions, AccountDatabaseOfAnEarlierLayoutIsCarriedOn) {
  createSchema();
  {
    TestDb db(dbPath);
    db.exec("pragma auto_vacuum = 0; vacuum; drop table signinfailures");
    db.exec(
        "create table signinfailures (login text primary key, failures int, first_time int, "
        "last_time int)");
    db.exec("insert into signinfailures values ('admin', 9, 0, strftime('%s', 'now'))");
    EXPECT_EQ(db.integer("pragma auto_vacuum"), 0);
  }
  EXPECT_EQ(quibVerifyUserPass("admin", "482"), kQuibSignInValid);
  quibClose();
  EXPECT_EQ(TestDb(dbPath).integer("pragma auto_vacuum"), 1);
  EXPECT_EQ(quibVerifyUserPass("admin", "bad"), kQuibSignInInvalid);
  quibClose();
  EXPECT_EQ(TestDb(dbPath).rows("select login, address, failures from signinfailures"),
            std::vector<std::string>{"admin||1"});
}

// Requests without the password cannot grow the account database past a
// bound, and what they leave goes again with its rows.
TEST_F(Sessions, AttacksLeaveTheFileSmall) {
  createSchema();
  auto fileSize = [this] {
    quibClose();
    struct stat info {};
    EXPECT_EQ(stat(dbPath.c_str(), &info), 0);
    return static_cast<long long>(info.st_size);
  };
  const long long initial = fileSize();
  EXPECT_LE(initial, 65536);

  // Overlong user names and form tokens are refused before anything is
  // stored.
  const std::string hugeName(60000, 'n');
  for (int attempt = 0; attempt < 1001; ++attempt) {
    EXPECT_EQ(quibVerifyUserPass(hugeName + std::to_string(attempt), "x"), kQuibSignInInvalid);
  }
  for (int attempt = 0; attempt < 500; ++attempt) {
    EXPECT_EQ(quibClaimFormToken(std::string(60000, 't') + std::to_string(attempt)), 0);
  }
  EXPECT_EQ(fileSize(), initial);

  // The longest names from ever new addresses, the longest tokens and sticky
  // sign-ins fill their tables up to the caps only.
  const std::string longName(kQuibMaxLoginBytes - 4, 'n');
  for (int attempt = 0; attempt < 1100; ++attempt) {
    setenv("REMOTE_ADDR", ("2001:db8::" + std::to_string(attempt)).c_str(), 1);
    quibVerifyUserPass(longName + std::to_string(attempt % 10000), "x");
  }
  unsetenv("REMOTE_ADDR");
  for (int attempt = 0; attempt < 1100; ++attempt) {
    quibClaimFormToken(std::string(120, 't') + std::to_string(attempt % 10000));
  }
  for (int attempt = 0; attempt < 100; ++attempt) quibCreateSession("admin", 1);
  takeQueuedCookies();
  const long long attacked = fileSize();
  {
    TestDb db(dbPath);
    EXPECT_EQ(db.integer("select count(*) from signinfailures"), 1000);
    EXPECT_EQ(db.integer("select count(*) from formtokens"), 1000);
    EXPECT_EQ(db.integer("select count(*) from sessions"), 16);
  }
  EXPECT_LE(attacked, 1024 * 1024);
  std::printf("account database: %lld bytes new, %lld after the attacks", initial, attacked);

  // Once the rows have gone, so has the space they took.
  {
    TestDb db(dbPath);
    db.exec("update signinfailures set last_time = last_time - 86400");
    db.exec("update formtokens set used_time = used_time - 86401");
  }
  EXPECT_EQ(quibVerifyUserPass("admin", "bad"), kQuibSignInInvalid);
  setCookieHeader("quibsession=1-2-3");
  quibExpireSession("1-2-3");
  takeQueuedCookies();
  const long long purged = fileSize();
  std::printf(", %lld once purged\n", purged);
  EXPECT_LE(purged, 65536);
}

TEST_F(Sessions, PasswordChangeEndsTheUsersOtherSessions) {
  createSchema();
  std::string elsewhere = quibCreateSession("admin", 1);
  std::string bob = quibCreateSession("bob", 0);
  std::string mine = quibCreateSession("admin", 0);
  takeQueuedCookies();
  EXPECT_EQ(quibChangePass("admin", "wrong", "new"), 0);
  EXPECT_EQ(sessionCount(elsewhere), 1);
  EXPECT_EQ(quibChangePass("admin", "482", "new"), 1);
  EXPECT_EQ(sessionCount(elsewhere), 0);
  EXPECT_EQ(sessionCount(bob), 1);
  EXPECT_EQ(sessionCount(mine), 1);
}

TEST_F(Sessions, ChangingThePassword) {
  createSchema();
  EXPECT_EQ(quibChangePass("admin", "wrong", "new"), 0);
  EXPECT_EQ(quibChangePass("nobody", "482", "new"), 0);
  EXPECT_EQ(quibVerifyUserPass("admin", "482"), 1);
  EXPECT_EQ(TestDb(dbPath).scalar("select passchange_time from users"), "");

  EXPECT_EQ(quibChangePass("admin", "482", "482"), 1);
  EXPECT_LE(
      std::llabs(TestDb(dbPath).integer("select passchange_time from users") - std::time(nullptr)),
      5);

  EXPECT_EQ(quibChangePass("admin", "482", ""), 1);
  EXPECT_EQ(quibVerifyUserPass("admin", "482"), 0);
  EXPECT_EQ(quibVerifyUserPass("admin", ""), 1);
  EXPECT_EQ(TestDb(dbPath).scalar("select pass from users"), expectedPassForm("admin", ""));
}

TEST_F(Sessions, LongAndOddNamesAndPasswords) {
  createSchema();
  const std::string longLogin(kQuibMaxLoginBytes, 'L');
  const std::string longPassword = std::string(kQuibMaxPasswordBytes - 4, 'p') + "\"'%";
  const std::string oddLogin = "o'neil \"%s%n\" 100%\xff\xfe\x80";
  const std::string oddPassword = "50% 'off' \"now\" \xc3\x28 %d";
  {
    TestDb db(dbPath);
    addAccount(db, longLogin, expectedPassForm(longLogin, longPassword));
    addAccount(db, oddLogin, expectedPassForm(oddLogin, oddPassword));
  }
  for (const auto& [login, password] :
       {std::pair{longLogin, longPassword}, std::pair{oddLogin, oddPassword}}) {
    EXPECT_EQ(quibVerifyUserPass(login, password), 1);
    EXPECT_EQ(quibVerifyUserPass(login, password.substr(1)), 0);
    std::string id = quibCreateSession(login, 0);
    setCookieHeader("quibsession=" + id);
    EXPECT_EQ(quibGetAuthUser(), login);
    EXPECT_EQ(quibChangePass(login, password, password + "!"), 1);
    EXPECT_EQ(quibVerifyUserPass(login, password + "!"), 1);
  }
  // One byte more is refused before anything is stored.
  quibClose();
  TestDb(dbPath).exec("delete from signinfailures");
  EXPECT_EQ(quibVerifyUserPass(longLogin + "L", "x"), 0);
  EXPECT_EQ(quibVerifyUserPass(longLogin, longPassword + "!x"), 0);
  EXPECT_EQ(quibChangePass(longLogin, longPassword + "!", longPassword + "!x"), 0);
  EXPECT_EQ(quibVerifyUserPass(longLogin, longPassword + "!"), 1);
  quibClose();
  EXPECT_EQ(TestDb(dbPath).integer("select count(*) from signinfailures"), 0);
  takeQueuedCookies();
}

// ---------------------------------------------------------------------------
// Session ids
// ---------------------------------------------------------------------------

// The three values of an id "%x-%x-%x" (lowercase, no leading zeros), or
// none when the text has another form.
std::optional<std::vector<unsigned long>> idValues(const std::string& id) {
  std::vector<unsigned long> values;
  size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    size_t end = part < 2 ? id.find('-', at) : id.size();
    if (end == std::string::npos) return std::nullopt;
    std::string digits = id.substr(at, end - at);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    if (digits.find_first_not_of("0123456789abcdef") != std::string::npos) return std::nullopt;
    if (digits.size() > 1 && digits[0] == '0') return std::nullopt;
    values.push_back(std::stoul(digits, nullptr, 16));
    at = end + 1;
  }
  return values;
}

TEST(SessionIds, HaveThreeHexadecimalPartsAndDiffer) {
  std::set<std::string> seen;
  bool highBitsUsed = false;
  for (int i = 0; i < 1000; ++i) {
    std::optional<std::string> id = newSessionId();
    ASSERT_TRUE(id);
    std::optional<std::vector<unsigned long>> values = idValues(*id);
    ASSERT_TRUE(values) << *id;
    for (unsigned long value : *values) {
      EXPECT_LE(value, 0x7ffffffful);
      if (value >= 0x40000000ul) highBitsUsed = true;
    }
    seen.insert(*id);
  }
  EXPECT_EQ(seen.size(), 1000u);
  EXPECT_TRUE(highBitsUsed);
  EXPECT_FALSE(idValues("1-02-3"));
  EXPECT_FALSE(idValues("1-2"));
}

// With a generator seeded from the clock, two requests in the same second
// would hand out the same id.
TEST_F(Sessions, RequestsInTheSameSecondGetDifferentIds) {
  createSchema();
  std::set<std::string> ids;
  for (int i = 0; i < 4; ++i) {
    ChildResult child =
        runInChild([] { std::printf("%s", quibCreateSession("admin", 0).c_str()); });
    ASSERT_EQ(child.exitStatus, 0);
    ids.insert(child.out);
  }
  EXPECT_EQ(ids.size(), 4u);
  EXPECT_EQ(TestDb(dbPath).integer("select count(*) from sessions"), 4);
}

// Exit status of the child passed on as is, without the sanitizers' exit-time
// work (which would need the files this test forbids to open).
void exitQuietly(int status, void*) {
  quibSendResponse();
  _exit(status);
}

// Makes getrandom() and every file open fail in this process.
bool forbidRandomSources() {
  std::vector<sock_filter> program;
  program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
  std::vector<long> opens = {SYS_openat};
#ifdef SYS_open
  opens.push_back(SYS_open);
#endif
  // Layout: load, one test per call, allow, fail with ENOSYS, fail with EACCES.
  const size_t tests = 1 + opens.size();
  const size_t enosysAt = 1 + tests + 1;
  const size_t eaccesAt = enosysAt + 1;
  auto jumpTo = [&](size_t target) { return static_cast<uint8_t>(target - program.size() - 1); };
  program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getrandom, jumpTo(enosysAt), 0));
  for (long call : opens) {
    program.push_back(
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(call), jumpTo(eaccesAt), 0));
  }
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS));
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES));
  sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

TEST_F(Sessions, NoRandomSourceNoSession) {
  createSchema();
  ChildResult probe = runInChild([] {
    if (!forbidRandomSources()) _exit(3);
    std::printf("%s", newSessionId() ? "id" : "none");
  });
  if (probe.exitStatus == 3) GTEST_SKIP() << "system call filters are not available here";
  ASSERT_EQ(probe.exitStatus, 0);
  EXPECT_EQ(probe.out, "none");

  ChildResult child = runInChild([] {
    on_exit(exitQuietly, nullptr);
    quibRemoveCookie("quibsession");
    if (!forbidRandomSources()) _exit(3);
    quibCreateSession("admin", 0);
    std::printf("returned");
  });
  EXPECT_EQ(child.exitStatus, 1);
  // The status line comes first, before the queued cookie lines.
  EXPECT_EQ(child.out,
            "Status: 500 Internal Server Error\n"
            "Set-Cookie: quibsession=0; expires=Thu, 1-Jan-1970 00:00:00 GMT\n" +
                fatalPage(10, "cannot read the system random source")
                    .substr(std::string("Status: 500 Internal Server Error\n").size()));
  EXPECT_EQ(TestDb(dbPath).integer("select count(*) from sessions"), 0);
}

// ---------------------------------------------------------------------------
// Fatal failures of the account database
// ---------------------------------------------------------------------------

// Makes the database file unwritable for the child that calls this: as root,
// by dropping to an unprivileged user; otherwise by file modes.
void loseWriteAccess() {
  if (geteuid() == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(4);
  }
}

class FatalSessions : public Sessions {
 protected:
  void makeReadOnly() {
    if (geteuid() == 0) {
      chmod(dir.path().c_str(), 0755);
      chmod(dbPath.c_str(), 0644);
    } else {
      chmod(dbPath.c_str(), 0444);
      chmod(dir.path().c_str(), 0555);
    }
  }
  void TearDown() override {
    chmod(dir.path().c_str(), 0700);
    Sessions::TearDown();
  }
};

TEST_F(FatalSessions, ReadOnlyDatabaseRefusesWritesWithTheErrorPage) {
  createSchema();
  std::string id = quibCreateSession("admin", 0);
  takeQueuedCookies();
  quibClose();
  TestDb(dbPath).exec("update sessions set access_time = access_time - 61");  // due to be stored
  makeReadOnly();
  const std::string readOnly = fatalPage(8, "attempt to write a readonly database");

  // Reading still works.
  ChildResult verify = runInChild([] {
    loseWriteAccess();
    std::printf("%d", quibVerifyUserPass("admin", "482"));
  });
  EXPECT_EQ(verify.exitStatus, 0);
  EXPECT_EQ(verify.out, "1");

  // A failure that cannot be counted is no answer.
  ChildResult failed = runInChild([] {
    loseWriteAccess();
    quibVerifyUserPass("admin", "bad");
    std::printf("returned");
  });
  EXPECT_EQ(failed.exitStatus, 1);
  EXPECT_EQ(failed.out, readOnly);

  // The access time of a lookup is kept only where it can be.
  setCookieHeader("quibsession=" + id);
  ChildResult lookup = runInChild([] {
    loseWriteAccess();
    std::printf("%s", quibGetAuthUser().value_or("none").c_str());
    quibClose();
  });
  EXPECT_EQ(lookup.exitStatus, 0);
  EXPECT_EQ(lookup.out, "admin");

  // No cookie for a session that was not stored.
  unsetenv("HTTP_COOKIE");
  ChildResult create = runInChild([] {
    loseWriteAccess();
    std::string newId = quibCreateSession("admin", 0);
    std::printf("returned %s", newId.c_str());
  });
  EXPECT_EQ(create.exitStatus, 1);
  EXPECT_EQ(create.out, readOnly);

  ChildResult change = runInChild([] {
    loseWriteAccess();
    quibChangePass("admin", "482", "new");
    std::printf("returned");
  });
  EXPECT_EQ(change.exitStatus, 1);
  EXPECT_EQ(change.out, readOnly);

  ChildResult signOut = runInChild([id] {
    loseWriteAccess();
    quibExpireSession(id);
    std::printf("returned");
  });
  EXPECT_EQ(signOut.exitStatus, 1);
  EXPECT_EQ(signOut.out, readOnly);

  chmod(dir.path().c_str(), 0700);
  chmod(dbPath.c_str(), 0644);
  EXPECT_EQ(sessionCount(id), 1);
  EXPECT_EQ(quibVerifyUserPass("admin", "482"), 1);
}

TEST_F(FatalSessions, DatabaseOfAnotherLayout) {
  {
    TestDb db(dbPath);
    db.exec("create table sessions (id text, owner text)");
    db.exec("create table users (login text)");
  }
  setCookieHeader("quibsession=1-2-3");
  ChildResult lookup = runInChild([] {
    quibGetAuthUser();
    std::printf("returned");
  });
  EXPECT_EQ(lookup.exitStatus, 1);
  EXPECT_EQ(lookup.out, fatalPage(1, "no such column: access_time"));

  ChildResult verify = runInChild([] {
    quibVerifyUserPass("admin", "482");
    std::printf("returned");
  });
  EXPECT_EQ(verify.exitStatus, 1);
  EXPECT_EQ(verify.out, fatalPage(1, "no such column: pass"));
}

// Only the lookup and the password check create the tables.
TEST_F(FatalSessions, SessionOnADatabaseWithoutTables) {
  ChildResult create = runInChild([] {
    quibCreateSession("admin", 0);
    std::printf("returned");
  });
  EXPECT_EQ(create.exitStatus, 1);
  EXPECT_NE(create.out.find(fatalPage(1, "no such table: users")), std::string::npos) << create.out;
}

TEST_F(FatalSessions, FileThatIsNoDatabase) {
  writeFile(dbPath, std::string(4096, 'x'));
  ChildResult verify = runInChild([] {
    quibVerifyUserPass("admin", "482");
    std::printf("returned");
  });
  EXPECT_EQ(verify.exitStatus, 1);
  EXPECT_EQ(verify.out, fatalPage(26, "file is not a database"));
}

TEST_F(FatalSessions, DatabaseLockedByAnotherConnection) {
  createSchema();
  std::string id = quibCreateSession("admin", 0);
  takeQueuedCookies();
  quibClose();
  const std::string locked = fatalPage(5, "database is locked");

  {
    TestDb holder(dbPath);
    holder.exec("begin exclusive");
    // The first statement of the request cannot even be prepared.
    ChildResult verify = runInChild([] {
      quibVerifyUserPass("admin", "482");
      std::printf("returned");
    });
    EXPECT_EQ(verify.exitStatus, 1);
    EXPECT_EQ(verify.out, locked);
    holder.exec("rollback");
  }

  // Prepared statements but a write that cannot get the lock.
  ChildResult create = runInChild([this] {
    std::printf("%d", quibVerifyUserPass("admin", "482"));
    TestDb holder(dbPath);
    holder.exec("begin exclusive");
    quibChangePass("admin", "482", "new");
    std::printf("returned");
  });
  EXPECT_EQ(create.exitStatus, 1);
  EXPECT_EQ(create.out, "1" + locked);

  EXPECT_EQ(quibVerifyUserPass("admin", "482"), 1);
  EXPECT_EQ(sessionCount(id), 1);
}

// A session lookup whose statement is prepared (the schema is known) but
// whose step the database refuses is the fatal page, never "no session":
// the request must not fall back to the sign-in page and drop its action.
TEST_F(FatalSessions, LookupRefusedAtItsStepIsFatal) {
  createSchema();
  std::string id = quibCreateSession("admin", 0);
  takeQueuedCookies();
  quibClose();
  setCookieHeader("quibsession=" + id);

  // Another connection writes for longer than the busy timeout.
  ChildResult locked = runInChild([this] {
    quibVerifyUserPass("admin", "482");  // reads the schema
    TestDb holder(dbPath);
    holder.exec("begin exclusive");
    std::optional<std::string> user = quibGetAuthUser();
    std::printf("returned %s", user ? user->c_str() : "none");
  });
  EXPECT_EQ(locked.exitStatus, 1);
  EXPECT_EQ(locked.out, fatalPage(5, "database is locked"));

  // The sessions table's page cannot be read.
  const long long root =
      TestDb(dbPath).integer("select rootpage from sqlite_master where name = 'sessions'");
  const long long pageSize = TestDb(dbPath).integer("pragma page_size");
  ChildResult damaged = runInChild([this, root, pageSize] {
    quibVerifyUserPass("admin", "482");
    FILE* file = std::fopen(dbPath.c_str(), "r+b");
    if (!file) return;
    std::fseek(file, static_cast<long>((root - 1) * pageSize), SEEK_SET);
    const std::string garbage(static_cast<size_t>(pageSize), '\xff');
    std::fwrite(garbage.data(), 1, garbage.size(), file);
    std::fclose(file);
    std::optional<std::string> user = quibGetAuthUser();
    std::printf("returned %s", user ? user->c_str() : "none");
  });
  EXPECT_EQ(damaged.exitStatus, 1);
  EXPECT_EQ(damaged.out.rfind("Status: 500 Internal Server Error\n" + kContentType +
                                  "<html><head><title>ERROR</title></head><body><h3>"
                                  "quib SQL error code: 11, message: ",
                              0),
            0u)
      << damaged.out;
}

}  // namespace
