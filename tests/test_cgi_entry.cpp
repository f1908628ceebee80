// The request entry through the real program: which timer action a request
// runs, what reaches the timer store, the exit status, the timer database's
// path and its failures.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "quib/quib.h"
#include "skedra_paths.h"
#include "store/timer_db.h"
#include "support/cgi_accounts.h"
#include "support/cgi_harness.h"
#include "support/firmware.h"
#include "support/test_env.h"

namespace {

constexpr const char* kNoKeys = "You have to select one or more timers";
constexpr const char* kAllColumns =
    "select ID, datestamp, date, date_year, date_month, date_day, start_hour, start_minute, "
    "length_hour, length_minute, source, channel, quality, target, SAP, timestamp_start, "
    "timestamp_offset, enable, lock, schedule_type, event_id, user_id, user_string "
    "from timer_record_table order by ID";

// One firmware row: a one-hour recording on 1 January 2030 at 20:00 UTC.
void insertTimer(const std::string& dbPath, int id, const std::string& title, int enable = 0,
                 int source = 10) {
  TestDb db(dbPath);
  db.exec(
      "insert into timer_record_table (ID, datestamp, date, date_year, date_month, date_day, "
      "start_hour, start_minute, length_hour, length_minute, source, channel, quality, target, "
      "SAP, timestamp_start, timestamp_offset, enable, lock, schedule_type, event_id, user_id, "
      "user_string) values (" +
      std::to_string(id) + ", 0, 0, 2030, 1, 1, 20, 0, 1, 0, " + std::to_string(source) +
      ", 7, 1, 0, 0, 1893528000, 3600, " + std::to_string(enable) + ", 0, 0, -1, 0, '" + title +
      "')");
}

class RequestEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    writeProbeTemplates(dir.path());
    createFirmwareSchema(timerDb);
    createAccountDb(authDb);
    addSession(authDb, kSession, "admin", false);
    insertTimer(timerDb, 1, "Film", 1);
    insertTimer(timerDb, 2, "Match", 1);
  }

  // A request of the signed-in user.
  CgiRequest request(const std::string& query) const {
    CgiRequest request;
    request.workDir = dir.path();
    request.timerDb = timerDb;
    request.query = query;
    request.cookie = std::string("quibsession=") + kSession;
    return request;
  }

  CgiResponse run(const CgiRequest& request) const {
    CgiResponse response = runFromPage(request);
    EXPECT_EQ(response.errors, "");
    return response;
  }

  std::vector<std::string> timers() const {
    TestDb db(timerDb);
    return db.rows(kAllColumns);
  }
  std::string column(int id, const std::string& name) const {
    TestDb db(timerDb);
    return db.scalar("select " + name +
                     " from timer_record_table where ID = " + std::to_string(id));
  }
  long long timerCount() const {
    TestDb db(timerDb);
    return db.integer("select count(*) from timer_record_table");
  }

  static constexpr const char* kSession = "5a-6b-7c";
  TempDir dir;
  std::string timerDb = dir.file("schedule_record.db");
  std::string authDb = dir.file("quibauth.db");
};

TEST_F(RequestEntry, NoParametersShowsCreateMode) {
  CgiRequest get = request("");
  get.query.reset();  // no QUERY_STRING at all
  CgiRequest post = request("");
  post.method = "POST";
  for (const CgiRequest& r : {get, request(""), post}) {
    CgiResponse response = run(r);
    EXPECT_EQ(response.exitStatus, 0);
    EXPECT_EQ(response.header, "Content-Language: en\n" + std::string(kPageHeaderEnd));
    ProbePage page = probePage(response);
    EXPECT_EQ(page.page, "LIST") << response.output;
    EXPECT_EQ(page.msg, "");
    EXPECT_EQ(page.buttonVar, "create");
    EXPECT_EQ(page.buttonVal, "Create");
    EXPECT_EQ(page.formTitle, "Create new timer");
    EXPECT_EQ(page.selfUrl, "skedra.cgi");
  }
}

TEST_F(RequestEntry, GroupActionWithoutKeysChangesNothing) {
  std::vector<std::string> before = timers();
  for (const char* query : {"delete=Delete", "enable", "disable=1", "clone=Clone",
                            "delete&keyboard=1&ke=2", "clone&Key=1", "delete&edit&key"}) {
    SCOPED_TRACE(query);
    CgiResponse response = run(request(query));
    EXPECT_EQ(response.exitStatus, 0);
    std::string expected = std::string(query) == "delete&edit&key" ? "" : kNoKeys;
    EXPECT_EQ(probePage(response).msg, expected);
    EXPECT_EQ(timers(), before);
  }
}

TEST_F(RequestEntry, FirstGroupActionWins) {
  CgiResponse response = run(request("enable=Enable&delete=Delete&key=1"));
  EXPECT_EQ(probePage(response).msg, "");
  EXPECT_EQ(timerCount(), 1);
  EXPECT_EQ(column(2, "enable"), "1");

  run(request("clone&disable&key=2"));
  EXPECT_EQ(timerCount(), 1);

  run(request("clone&enable&key=2"));
  EXPECT_EQ(column(2, "enable"), "0");
  EXPECT_EQ(timerCount(), 1);

  run(request("disable&key=2"));
  EXPECT_EQ(column(2, "enable"), "1");
}

TEST_F(RequestEntry, CreateWinsOverUpdate) {
  std::vector<std::string> before = timers();
  CgiResponse response = run(request(
      "update=Update&create=Create&key=1&channel=7&day=2&month=1&year=2030&hh=20&mm=0&hours=1&"
      "mins=0&prepad=0&postpad=0&repeat=0&title=Fresh&quality=1&target=0"));
  EXPECT_EQ(response.exitStatus, 0);
  EXPECT_EQ(probePage(response).msg, "");
  std::vector<std::string> after = timers();
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0], before[0]);
  EXPECT_EQ(after[1], before[1]);
  EXPECT_EQ(column(3, "user_string"), "Fresh");
}

TEST_F(RequestEntry, SavedDefaultsComeBeforeTheTimer) {
  run(request(
      "savedef=1&create=Create&channel=7&day=2&month=1&year=2030&hh=20&mm=0&hours=1&mins=30&"
      "prepad=5&postpad=10&repeat=0&title=Padded&quality=1&target=0"));
  TestDb db(timerDb);
  EXPECT_EQ(db.rows("select name, value from settings order by name"),
            (std::vector<std::string>{"postpad|600", "prepad|300"}));
  EXPECT_EQ(db.integer("select count(*) from sqlite_master where type = 'trigger'"), 3);
  // Written with the marker (110), which the triggers take off again, and
  // with the margins folded into the recording window.
  EXPECT_EQ(db.rows("select source, channel, timestamp_start, timestamp_offset from "
                    "timer_record_table where user_string = 'Padded'"),
            std::vector<std::string>{"10|7|" + std::to_string(1893614400 - 300) + "|6300"});
}

TEST_F(RequestEntry, TimerOfTheSavingRequestSeesTheNewDefaults) {
  run(request("savedef&create&prepad=5&postpad=10&channel=7&day=2&month=1&year=2030&title=A"));
  // Saving 0 and 0 leaves the triggers in place; the timer of the same
  // request is still marked, so it keeps the margins that the form sent, and
  // its start columns are local time of the recorder.
  CgiRequest zero = request(
      "savedef&create&prepad=0&postpad=0&channel=7&day=2&month=1&year=2030&hh=20&mm=0&hours=1&"
      "mins=0&title=B");
  zero.tz = "CET-1";
  run(zero);
  // A later request's own margin survives the 0/0 defaults.
  CgiRequest own = request(
      "create&prepad=5&postpad=0&channel=7&day=2&month=1&year=2030&hh=20&mm=0&hours=1&mins=0&"
      "title=C");
  own.tz = "CET-1";
  run(own);
  TestDb db(timerDb);
  EXPECT_EQ(db.rows("select value from settings order by name"),
            (std::vector<std::string>{"0", "0"}));
  EXPECT_EQ(
      db.rows("select user_string, source, timestamp_start, timestamp_offset from "
              "timer_record_table where user_string in ('B', 'C') order by user_string"),
      (std::vector<std::string>{"B|10|" + std::to_string(1893614400 - 3600) + "|3600",
                                "C|10|" + std::to_string(1893614400 - 3600 - 300) + "|3900"}));
}

TEST_F(RequestEntry, EditOpensTheFormAndReinitEndsWith100) {
  CgiResponse edit = run(request("edit=Edit&reinit=1&key=2"));
  EXPECT_EQ(edit.exitStatus, 0);
  ProbePage page = probePage(edit);
  EXPECT_EQ(page.buttonVar, "update");
  EXPECT_EQ(page.buttonVal, "Update");
  EXPECT_EQ(page.formTitle, "Update existing timer");

  CgiResponse reinit = run(request("reinit"));
  EXPECT_EQ(reinit.exitStatus, 100);
  EXPECT_EQ(probePage(reinit).page, "LIST");
  EXPECT_EQ(probePage(reinit).buttonVar, "create");

  // An action before it in the order wins and the run ends normally.
  CgiResponse deleted = run(request("reinit&delete&key=1"));
  EXPECT_EQ(deleted.exitStatus, 0);
  EXPECT_EQ(timerCount(), 1);
}

TEST_F(RequestEntry, OnlyTheTitleIsUrlDecoded) {
  run(request(
      "create&title=News+%26+Weather&channel=%31&day=2&month=1&year=2030&hh=20&mm=0&hours=1"));
  TestDb db(timerDb);
  EXPECT_EQ(db.rows("select source, channel from timer_record_table where user_string = "
                    "'News & Weather'"),
            std::vector<std::string>{"1|1"});

  run(request("create&title&channel=7&day=2&month=1&year=2030&hours=1"));
  run(request("create&channel=8&day=2&month=1&year=2030&hours=1"));
  EXPECT_EQ(db.rows("select user_string from timer_record_table where channel in (7, 8) and ID "
                    "> 2 order by ID"),
            (std::vector<std::string>{"", ""}));
}

TEST_F(RequestEntry, ArgumentReplacesTheDefaultPath) {
  std::string other = dir.file("other.db");
  createFirmwareSchema(other);
  CgiRequest create = request("create&channel=7&title=Elsewhere&day=2&month=1&year=2030&hours=1");
  create.timerDb = other;
  EXPECT_EQ(run(create).exitStatus, 0);
  TestDb db(other);
  EXPECT_EQ(db.scalar("select user_string from timer_record_table"), "Elsewhere");
  EXPECT_EQ(timerCount(), 2);
}

TEST_F(RequestEntry, WithoutArgumentTheRecorderDatabaseIsUsed) {
  // Never touch a real recorder's database, nor create folders outside the
  // build tree or the temporary folder.
  const std::string etc = RECORDER_ETC_DIR;
  const std::string dbDir = etc + "/dvdplayer";
  if (access(SKEDRA_TIMER_DB_PATH, F_OK) == 0) GTEST_SKIP() << SKEDRA_TIMER_DB_PATH " exists";
  bool ours = etc.rfind(SKEDRA_BUILD_DIR, 0) == 0 || etc.rfind("/tmp/", 0) == 0;
  if (access(dbDir.c_str(), W_OK) != 0) {
    if (!ours) GTEST_SKIP() << dbDir << " is not a writable test folder";
    std::string command = "mkdir -p '" + dbDir + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  createFirmwareSchema(SKEDRA_TIMER_DB_PATH);
  CgiRequest create = request("create&channel=7&title=Default&day=2&month=1&year=2030&hours=1");
  create.timerDb.reset();
  CgiResponse response = run(create);
  std::string stored;
  {
    TestDb db(SKEDRA_TIMER_DB_PATH);
    stored = db.scalar("select user_string from timer_record_table");
  }
  std::remove(SKEDRA_TIMER_DB_PATH);
  EXPECT_EQ(response.exitStatus, 0);
  EXPECT_EQ(stored, "Default");
  EXPECT_EQ(timerCount(), 2);
}

// The failure page of the timer database: header, one line, exit status 1.
// site "" accepts any call-site number.
void expectTimerDbFailure(const CgiResponse& response, int code, const std::string& message,
                          const std::string& site = "") {
  EXPECT_EQ(response.exitStatus, 1);
  EXPECT_EQ(response.errors, "");
  EXPECT_NE(response.header.find(kPageHeaderEnd), std::string::npos);
  const std::string line =
      "SQL error code: " + std::to_string(code) + ", message: \"" + message + "\" at line ";
  ASSERT_EQ(response.body.rfind(line, 0), 0u) << response.output;
  std::string rest = response.body.substr(line.size());
  ASSERT_FALSE(rest.empty()) << response.output;
  EXPECT_EQ(rest.back(), '\n');
  std::string number = rest.substr(0, rest.size() - 1);
  EXPECT_FALSE(number.empty());
  EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << response.output;
  if (!site.empty()) {
    EXPECT_EQ(number, site);
  }
}

TEST_F(RequestEntry, UnopenableDatabaseFailsAtOnce) {
  CgiRequest open = request("delete&key=1");
  open.timerDb = dir.file("missing/schedule_record.db");
  open.cookie.reset();  // fails before the sign-in gate runs
  expectTimerDbFailure(runCgi(open), 14, "unable to open database file", "1");
}

TEST_F(RequestEntry, CorruptDatabaseFails) {
  std::string corrupt = dir.file("corrupt.db");
  writeFile(corrupt, std::string(8192, 'x'));
  CgiRequest del = request("delete&key=1");
  del.timerDb = corrupt;
  expectTimerDbFailure(runCgi(del), 26, "file is not a database");
}

// One request of the lock table on a recorder of its own: two timers, 1
// "Film" disabled and 2 "Match" active, the shipped templates and a signed-in
// session.
struct LockScene {
  LockScene() {
    copyShippedTemplates(dir.path());
    createFirmwareSchema(timerDb);
    createAccountDb(authDb);
    addSession(authDb, "5a-6b-7c", "admin", false);
    insertTimer(timerDb, 1, "Film", 1);
    insertTimer(timerDb, 2, "Match", 0);
  }
  // Every row and every schema entry of the timer database.
  std::vector<std::string> contents() const {
    TestDb db(timerDb);
    std::vector<std::string> all = db.rows(kAllColumns);
    for (const std::string& entry : db.rows("select type, name, sql from sqlite_master")) {
      all.push_back(entry);
    }
    return all;
  }
  TempDir dir;
  std::string timerDb = dir.file("schedule_record.db");
  std::string authDb = dir.file("quibauth.db");
};

// The lock table: another process holds the timer database (exclusively, with
// a write begun, or with a read still open) while each action runs.
//   Held longer than the busy timeout: every action that writes, and under an
//   exclusive lock the list too, waits the timeout and then fails within a
//   second more: the error text alone after one header, exit status 1,
//   nothing written, no journal left behind. The list only reads, and the
//   other two locks let readers in: it is shown at once.
//   Held for less than the timeout: every action waits and is carried out.
TEST_F(RequestEntry, LockedDatabaseWaitsThenFails) {
  constexpr const char* kTimer = "&channel=7&day=2&month=1&year=2030&hh=20&mm=0&hours=1&mins=0";
  struct Action {
    const char* name;
    std::string query;
    bool writes;
    std::string probe;  // SQL whose value tells whether the action was carried out
    std::string before, after;
  };
  const std::vector<Action> actions = {
      {"list", "", false, "select count(*) from timer_record_table", "2", "2"},
      {"create", std::string("create=Create&title=Lost") + kTimer, true,
       "select count(*) from timer_record_table where user_string = 'Lost'", "0", "1"},
      {"update", std::string("update=Update&key=1&title=Changed") + kTimer, true,
       "select user_string from timer_record_table where ID = 1", "Film", "Changed"},
      {"delete", "delete=Delete&key=1", true,
       "select count(*) from timer_record_table where ID = 1", "1", "0"},
      {"enable", "enable=Enable&key=1", true, "select enable from timer_record_table where ID = 1",
       "1", "0"},
      {"disable", "disable=Disable&key=2", true,
       "select enable from timer_record_table where ID = 2", "0", "1"},
      {"clone", "clone=Clone&key=2", true,
       "select count(*) from timer_record_table where user_string = 'Match'", "1", "2"},
      {"savedef", std::string("create=Create&savedef=1&prepad=3&postpad=4&title=Lost") + kTimer,
       true,
       "select (select count(*) from sqlite_master where type = 'trigger') || '/' || "
       "(select count(*) from timer_record_table where user_string = 'Lost')",
       "0/0", "3/1"},
  };
  struct Row {
    const Action* action;
    FirmwareLock::Mode mode;
    bool held;  // longer than the busy timeout
    bool fails;
  };
  std::vector<Row> rows;
  for (FirmwareLock::Mode mode :
       {FirmwareLock::kExclusive, FirmwareLock::kImmediate, FirmwareLock::kReading}) {
    for (const Action& action : actions) {
      const bool fails = action.writes || mode == FirmwareLock::kExclusive;
      rows.push_back({&action, mode, true, fails});
      rows.push_back({&action, mode, false, false});
    }
  }
  // The rows that wait out the timeout go first, so that they share batches.
  std::stable_partition(rows.begin(), rows.end(), [](const Row& row) { return row.fails; });

  const auto timeout = std::chrono::milliseconds(kWebSchedBusyTimeoutMs);
  const int shortHoldMs = kWebSchedBusyTimeoutMs / 6;
  // The rows wait side by side, a few at a time; an emulated target starts
  // each program slowly enough that they run one by one there.
  const size_t parallel = std::string(SKEDRA_EMULATOR).empty() ? 6 : 1;
  for (size_t first = 0; first < rows.size(); first += parallel) {
    const size_t count = std::min(parallel, rows.size() - first);
    std::vector<std::unique_ptr<LockScene>> scenes;
    std::vector<std::vector<std::string>> before;
    std::vector<std::unique_ptr<FirmwareLock>> holders;
    std::vector<CgiRequest> requests(count);
    for (size_t i = 0; i < count; ++i) {
      const Row& row = rows[first + i];
      scenes.push_back(std::make_unique<LockScene>());
      before.push_back(scenes.back()->contents());
      // The form's page is drawn before the firmware holds the database.
      CgiRequest& request = requests[i];
      request.workDir = scenes.back()->dir.path();
      request.timerDb = scenes.back()->timerDb;
      request.authDb = scenes.back()->authDb;
      request.cookie = "quibsession=5a-6b-7c";
      request.method = "POST";
      request.body = row.action->query;
      addPageToken(request);
      holders.push_back(std::make_unique<FirmwareLock>(
          scenes.back()->timerDb, row.mode,
          row.held ? std::nullopt : std::optional<int>(shortHoldMs)));
    }
    std::vector<CgiResponse> responses(count);
    std::vector<std::chrono::steady_clock::duration> took(count);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < count; ++i) {
      threads.emplace_back([&, i] {
        const auto start = std::chrono::steady_clock::now();
        responses[i] = runCgi(requests[i]);
        took[i] = std::chrono::steady_clock::now() - start;
      });
    }
    for (std::thread& thread : threads) thread.join();
    holders.clear();

    for (size_t i = 0; i < count; ++i) {
      const Row& row = rows[first + i];
      const LockScene& scene = *scenes[i];
      const CgiResponse& response = responses[i];
      SCOPED_TRACE(std::string(row.action->name) + " under " + lockModeName(row.mode) +
                   (row.held ? ", held" : ", released soon"));
      EXPECT_EQ(response.output.find("Content-type:"), response.output.rfind("Content-type:"))
          << response.output;
      EXPECT_FALSE(std::ifstream(scene.timerDb + "-journal").good());
      const std::string probe = TestDb(scene.timerDb).scalar(row.action->probe);
      if (row.fails) {
        expectTimerDbFailure(response, 5, "database is locked");
        EXPECT_EQ(scene.contents(), before[i]);
        EXPECT_EQ(probe, row.action->before);
        EXPECT_GE(took[i], timeout);
        EXPECT_LT(took[i], timeout + std::chrono::seconds(1));
        // The lock is gone: the same form, sent again, now does what it
        // asked, and only once.
        const CgiResponse again = runCgi(requests[i]);
        EXPECT_EQ(TestDb(scene.timerDb).scalar(row.action->probe), row.action->after)
            << again.output;
        const CgiResponse third = runCgi(requests[i]);
        EXPECT_EQ(third.body.find("This form was already sent.") != std::string::npos,
                  row.action->writes);
        EXPECT_EQ(TestDb(scene.timerDb).scalar(row.action->probe), row.action->after);
      } else {
        EXPECT_EQ(response.exitStatus, 0) << response.output;
        EXPECT_EQ(response.header, "Content-Language: en\n" + std::string(kPageHeaderEnd));
        EXPECT_NE(response.body.find("<table class=\"timers\">"), std::string::npos)
            << response.output;
        EXPECT_NE(response.body.find("</html>"), std::string::npos);
        EXPECT_EQ(probe, row.action->after);
        EXPECT_LT(took[i], timeout);
      }
    }
  }
}

// A delete that committed before the list could be read (here: padding
// defaults that cannot be read) is reported as done, never as failed.
TEST_F(RequestEntry, CommittedActionIsNotReportedAsFailed) {
  std::vector<std::string> before = timers();
  // The forms' pages are drawn before the defaults break.
  CgiRequest del = request("delete&key=1");
  CgiRequest create = request("create&channel=7&title=Lost&hours=1");
  addPageToken(del);
  addPageToken(create);
  TestDb(timerDb).exec(
      "create view settings as select 'prepad' as name, abs(-9223372036854775807 - 1) as value");
  CgiResponse response = runCgi(del);
  EXPECT_EQ(response.exitStatus, 1);
  EXPECT_EQ(response.body,
            "The action was carried out, but the list of timers could not be shown.\n"
            "SQL error code: 1, message: \"integer overflow\" at line 33\n");
  EXPECT_EQ(timers().size() + 1, before.size());
  // The same failure before anything was written is a plain failure report.
  response = runCgi(create);
  expectTimerDbFailure(response, 1, "integer overflow", "33");
  EXPECT_EQ(timers().size() + 1, before.size());
}

// What each action says it did, and that an action on a timer that is gone
// changes nothing. Every row starts from the two timers of the fixture.
TEST_F(RequestEntry, EveryActionSaysWhatItDid) {
  constexpr const char* kGone = "That timer no longer exists.";
  constexpr const char* kTimer =
      "&channel=7&day=2&month=1&year=2030&hh=20&mm=0&hours=1&mins=0&prepad=5&postpad=5";
  struct Case {
    std::string query;
    std::string notice;
    long long count;         // timers afterwards
    bool unchanged = false;  // the timer table must be exactly as before
    std::string msg = "";
    std::string mode = "create";
    std::string defaults = "";  // the stored defaults afterwards, "pre/post" seconds ("" none)
    // The newest timer's day|month|year|hour|minute|hours|minutes ("" unchecked).
    std::string newest = "";
  };
  constexpr const char* kSaved5And5 =
      "Saved the default margins: 5 minutes before, 5 minutes after. No timer was written.";
  const std::vector<Case> cases = {
      {"delete=Delete&key=1&key=2", "Deleted 2 timers.", 0},
      {"delete=Delete&key=2", "Deleted 1 timer.", 1},
      {"delete=Delete&key=99&key=2", "Deleted 1 timer.", 1},
      {"delete=Delete&key=99", kGone, 2, true},
      {"enable=Enable&key=1", "Enabled 1 timer.", 2},
      {"enable=Enable&key=1&key=2", "Enabled 2 timers.", 2},
      {"disable=Disable&key=2", "Disabled 1 timer.", 2},
      {"disable=Disable&key=77", kGone, 2, true},
      {"clone=Clone&key=2", "Cloned 1 timer (the copy is disabled).", 3},
      {"clone=Clone&key=1&key=2", "Cloned 2 timers (the copies are disabled).", 4},
      {"clone=Clone&key=5", kGone, 2, true},
      {"delete=Delete", "", 2, true, kNoKeys},
      {std::string("create=Create&title=News+%26+Weather+%3Clive%3E") + kTimer,
       "Created \"News &amp; Weather &lt;live&gt;\".", 3},
      {std::string("update=Update&key=2&title=%22Final%22") + kTimer,
       "Updated \"&quot;Final&quot;\".", 2},
      // Neither the timer nor the defaults change for a timer that is gone.
      {std::string("update=Update&savedef=1&key=9&title=Lost") + kTimer, kGone, 2, true},
      // Without a timer, or with key 0, only the defaults are saved.
      {"update=Update&savedef=1&prepad=-1&postpad=1",
       "Saved the default margins: -1 minute before, 1 minute after. No timer was written.", 2,
       true, "", "create", "-60/60"},
      {std::string("update=Update&savedef=1&key=0&title=Lost") + kTimer, kSaved5And5, 2, true, "",
       "create", "300/300"},
      {std::string("update=Update&key=0&title=Lost") + kTimer, kGone, 2, true},
      // The form's own button, whatever else the form sends: the timer being
      // edited stays in its form, unchanged.
      {std::string("savedefonly=1&key=2&title=Lost") + kTimer, kSaved5And5, 2, true, "", "update",
       "300/300"},
      {std::string("savedefonly=1&create=Create&key=0&title=Lost") + kTimer, kSaved5And5, 2, true,
       "", "create", "300/300"},
      {"savedefonly=1&prepad=721",
       "Not saved: a margin must lie between -720 and 720 minutes (12 hours).", 2, true},
      {"edit=Edit&key=9", kGone, 2, true},
      {"edit=Edit&key=2", "", 2, true, "", "update"},
      // The date and time pickers, URL-encoded as a browser sends them or
      // not, replace the number fields; the length runs to the end, on the
      // next day at or before the start.
      {"create=Create&title=P&channel=7&date=2030-01-02&start=20%3A15&end=21%3A45",
       "Created \"P\".", 3, false, "", "create", "", "2|1|2030|20|15|1|30"},
      {std::string("create=Create&title=P&date=2030-01-02&start=23:30&end=00%3A15") + kTimer,
       "Created \"P\".", 3, false, "", "create", "", "2|1|2030|23|30|0|45"},
      // An end at the start gives no length: without margins nothing records.
      {"create=Create&title=P&channel=7&date=2030-01-02&start=20%3A00&end=20%3A00",
       "Not saved: with its margins the recording would not last at all.", 2, true},
      // A malformed picker is refused, never read as the number fields sent beside it.
      {std::string("create=Create&title=P&date=2030-1-2") + kTimer,
       "Not saved: the date must be given as year-month-day, like 2027-03-14.", 2, true},
      {std::string("update=Update&key=2&title=P&start=25%3A00&end=21%3A00") + kTimer,
       "Not saved: the start must be a time of day, like 20:15.", 2, true, "", "update"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    {
      TestDb db(timerDb);
      db.exec(
          "delete from timer_record_table; drop table if exists settings; drop trigger if exists "
          "ins_padding; drop trigger if exists upd_prepadding; drop trigger if exists "
          "upd_postpadding");
    }
    insertTimer(timerDb, 1, "Film", 1);
    insertTimer(timerDb, 2, "Match", 1);
    std::vector<std::string> before = timers();
    CgiResponse response = run(request(c.query));
    EXPECT_EQ(response.exitStatus, 0);
    ProbePage page = probePage(response);
    EXPECT_EQ(page.page, "LIST") << response.output;
    EXPECT_EQ(page.notice, c.notice);
    EXPECT_EQ(page.msg, c.msg);
    EXPECT_EQ(page.buttonVar, c.mode);
    EXPECT_EQ(timerCount(), c.count);
    if (c.unchanged) {
      EXPECT_EQ(timers(), before);
    }
    if (!c.newest.empty()) {
      EXPECT_EQ(TestDb(timerDb).rows("select date_day, date_month, date_year, start_hour, "
                                     "start_minute, length_hour, length_minute from "
                                     "timer_record_table order by ID desc limit 1"),
                std::vector<std::string>{c.newest});
    }
    TestDb db(timerDb);
    const bool stored = !c.defaults.empty();
    EXPECT_EQ(db.integer("select count(*) from sqlite_master where name = 'settings'"), stored);
    if (stored) {
      EXPECT_EQ(db.scalar("select group_concat(value, '/') from settings"), c.defaults);
      EXPECT_EQ(db.integer("select count(*) from sqlite_master where type = 'trigger'"), 3);
    }
  }
}

// What a create or update says about its entry after the action's own
// sentence, from the table as the write left it: a moved date, a timer in the
// past (only a "Once" one), the first overlap of the timer written. Every row
// starts from the fixture's two timers, Film active on Wednesday 9 December
// 2026, 20:00-21:00 UTC, on 8 December 2026 at noon.
TEST_F(RequestEntry, EntryRemarksFollowTheNotice) {
  const struct {
    std::string query;
    std::string notice;
  } cases[] = {
      {"create=Create&title=T&channel=7&day=31&month=11&year=2026&hours=1",
       "Created \"T\". 31/11/2026 was read as 1/12/2026. It lies in the past and will "
       "not record."},
      {"create=Create&title=T&channel=7&day=1&month=12&year=2026&hours=1&repeat=12",
       "Created \"T\"."},
      {"create=Create&title=T&channel=8&day=8&month=12&year=2026&hh=44&mm=30&hours=1",
       "Created \"T\". 8/12/2026 44:30 was read as 9/12/2026 20:30. It overlaps "
       "with Film &amp; Co on Wed 9/12 20:30."},
      {"update=Update&key=2&title=Match&channel=9&day=9&month=12&year=2026&hh=20&mm=0&mins=5",
       "Updated \"Match\". It overlaps with Film &amp; Co on Wed 9/12 20:00."},
      // A date past its month's end from the date picker, read on as "day" is.
      {"create=Create&title=T&channel=7&date=2026-11-31&start=20%3A00&end=21%3A00",
       "Created \"T\". 31/11/2026 was read as 1/12/2026. It lies in the past and will not "
       "record."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    TestDb(timerDb).exec("delete from timer_record_table");
    insertTimer(timerDb, 1, "Film", 1);
    insertTimer(timerDb, 2, "Match", 1);
    TestDb(timerDb).exec(
        "update timer_record_table set enable = 0, date_year = 2026, date_month = 12, date_day = "
        "9, timestamp_start = 1796846400, user_string = 'Film & Co' where ID = 1");
    CgiRequest r = request(c.query);
    r.fakeTime = "@2026-12-08 12:00:00";
    r.cookie.reset();  // a session of the real clock would not be valid then
    r.signIn = true;
    const CgiResponse response = run(r);
    EXPECT_EQ(probePage(response).notice, c.notice) << response.output;
  }
}

// A form's title must be UTF-8 and at most 255 characters; a stored title that
// is not UTF-8 (the firmware's own) is shown with its bytes as Latin-1 and
// keeps them when its form comes back unchanged. Each row updates timer 2
// from the stored title given in hexadecimal.
TEST_F(RequestEntry, TitlesAreUtf8AndBounded) {
  constexpr const char* kNotUtf8 = "Not saved: the title is not UTF-8 text.";
  constexpr const char* kTooLong = "Not saved: a title may be at most 255 characters long.";
  const std::string cafe = "436166E9";  // "Caf\xe9"
  const std::string a255(255, 'a'), b300(300, 'b');
  std::string u255;  // 255 characters, 510 bytes
  for (int k = 0; k < 255; ++k) u255 += "\xc3\xa9";
  auto hex = [this](const std::string& text) {
    return TestDb(timerDb).scalar("select hex('" + text + "')");
  };
  const struct {
    std::string stored, title, notice, storedAfter;
  } cases[] = {
      {cafe, "Caf%C3%A9", "Updated \"Caf\xc3\xa9\".", cafe},
      {cafe, "Cafe", "Updated \"Cafe\".", hex("Cafe")},
      {cafe, "Caf%E9", kNotUtf8, cafe},
      {hex("Match"), "%C0%AF", kNotUtf8, hex("Match")},     // overlong '/'
      {hex("Match"), "%ED%A0%80", kNotUtf8, hex("Match")},  // a surrogate
      {hex("Match"), "%F4%90%80%80", kNotUtf8, hex("Match")},
      {hex("Match"), a255, "Updated \"" + a255 + "\".", hex(a255)},
      {hex("Match"), a255 + "a", kTooLong, hex("Match")},
      {hex("Match"), u255, "Updated \"" + u255 + "\".", hex(u255)},
      {hex(b300), b300, "Updated \"" + b300 + "\".", hex(b300)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title.substr(0, 20));
    TestDb(timerDb).exec("update timer_record_table set user_string = cast(X'" + c.stored +
                         "' as text) where ID = 2");
    CgiResponse response =
        run(request("update=Update&key=2&channel=7&day=2&month=1&year=2030&"
                    "hh=20&mm=0&hours=1&title=" +
                    c.title));
    EXPECT_EQ(probePage(response).notice, c.notice);
    EXPECT_EQ(column(2, "hex(user_string)"), c.storedAfter);
  }
  TestDb(timerDb).exec("update timer_record_table set user_string = cast(X'" + cafe +
                       "' as text) where ID = 2");
  EXPECT_EQ(probePage(run(request("edit=Edit&key=2"))).pageTitle, "Edit: Caf\xc3\xa9");
}

// Only a token that the interface drew for the request's session acts, and
// only once; a second submission of the same token (a reload) carries out
// nothing. The steps run in order on one timer table; "A" to "D" stand for
// tokens drawn for the fixture's session, "O" for one drawn for another
// session, "S" for a sign-in page's token.
TEST_F(RequestEntry, FormTokenCarriesAnActionOutOnce) {
  constexpr const char* kSent = "This form was already sent.";
  constexpr const char* kRefused =
      "Nothing was changed: this request did not come from a form of this page. Reload the page "
      "and try again.";
  std::map<std::string, std::string> tokens;
  for (const char* name : {"A", "B", "C", "D"}) {
    tokens[name] = probePage(run(request(""))).formToken;
  }
  addSession(authDb, "9-9-9", "admin", false);
  CgiRequest other = request("");
  other.cookie = "quibsession=9-9-9";
  tokens["O"] = probePage(run(other)).formToken;
  CgiRequest signInPage = request("");
  signInPage.cookie.reset();
  tokens["S"] = probePage(run(signInPage)).formToken;
  struct Step {
    std::string query;
    std::string token;
    std::string notice;
    long long count;
    std::string msg = "";
  };
  const std::vector<Step> steps = {
      {"clone=Clone&key=2", "A", "Cloned 1 timer (the copy is disabled).", 3},
      {"clone=Clone&key=2", "A", kSent, 3},
      // Without a token, or with an empty, made-up, altered, another
      // session's or a sign-in page's token, nothing acts.
      {"clone=Clone&key=2", "", kRefused, 3},
      {"clone=Clone&key=2&formtoken=", "", kRefused, 3},
      {"clone=Clone&key=2&formtoken=0123456789abcdef0123456789abcdef", "", kRefused, 3},
      {"clone=Clone&key=2&formtoken=" + tokens["B"].substr(0, 31) +
           (tokens["B"].back() == '0' ? "1" : "0"),
       "", kRefused, 3},
      {"clone=Clone&key=2", "O", kRefused, 3},
      {"clone=Clone&key=2", "S", kRefused, 3},
      {"reinit", "", kRefused, 3},
      {"create=Create&title=Late&channel=7&day=2&month=1&year=2030&hours=1", "B",
       "Created \"Late\".", 4},
      {"create=Create&title=Late&channel=7&day=2&month=1&year=2030&hours=1", "B", kSent, 4},
      // A token is one form's, whatever its action.
      {"delete=Delete&key=1", "B", kSent, 4},
      {"savedef=1&prepad=9&update=Update&key=1&title=X", "B", kSent, 4},
      // Nothing was carried out: the token stays unused.
      {"delete=Delete", "C", "", 4, kNoKeys},
      {"update=Update&key=99&title=X", "C", "That timer no longer exists.", 4},
      {"delete=Delete&key=1", "C", "Deleted 1 timer.", 3},
      {"delete=Delete&key=1", "C", kSent, 3},
      // A write refused for its entry leaves its token unused.
      {"create=Create&title=Long&channel=7&hours=25", "D",
       "Not saved: with its margins the recording would last more than 24 hours.", 3},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.query + " " + step.token);
    const std::string token = step.token.empty() ? "" : "&formtoken=" + tokens[step.token];
    ProbePage page = probePage(runCgi(request(step.query + token)));
    EXPECT_EQ(page.page, "LIST");
    EXPECT_EQ(page.notice, step.notice);
    EXPECT_EQ(page.msg, step.msg);
    EXPECT_EQ(timerCount(), step.count);
  }
  TestDb db(timerDb);
  EXPECT_EQ(column(1, "user_string"), "<none>");
  EXPECT_EQ(db.integer("select count(*) from sqlite_master where name = 'settings'"), 0);
  // Methods other than GET and POST act on nothing, with a token too.
  for (const char* method : {"DELETE", "PUT", "HEAD"}) {
    CgiRequest other = request("delete=Delete&key=2");
    addPageToken(other);
    other.method = method;
    EXPECT_EQ(probePage(runCgi(other)).notice,
              "Nothing was changed: only GET and POST requests act.");
    EXPECT_EQ(timerCount(), 3);
  }
  // Opening the edit form changes nothing and needs no token, even with
  // "reinit" beside it.
  const CgiResponse edit = runCgi(request("edit=Edit&key=2&reinit"));
  EXPECT_EQ(edit.exitStatus, 0);
  EXPECT_EQ(probePage(edit).buttonVar, "update");
  EXPECT_EQ(probePage(edit).notice, "");
  std::vector<std::string> used = {tokens["A"], tokens["B"], tokens["C"]};
  std::sort(used.begin(), used.end());
  EXPECT_EQ(TestDb(authDb).rows("select token from formtokens order by token"), used);
}

// Two requests with the same token at once: one acts, the other waits for
// it and finds the form sent.
TEST_F(RequestEntry, ConcurrentSendsOfOneFormActOnce) {
  for (int round = 0; round < 3; ++round) {
    CgiRequest clone = request("clone=Clone&key=2");
    addPageToken(clone);
    std::vector<CgiResponse> responses(2);
    std::vector<std::thread> threads;
    for (CgiResponse& response : responses) {
      threads.emplace_back([&] { response = runCgi(clone); });
    }
    for (std::thread& thread : threads) thread.join();
    std::vector<std::string> notices;
    for (const CgiResponse& response : responses) notices.push_back(probePage(response).notice);
    std::sort(notices.begin(), notices.end());
    EXPECT_EQ(notices, (std::vector<std::string>{"Cloned 1 timer (the copy is disabled).",
                                                 "This form was already sent."}));
    EXPECT_EQ(timerCount(), 3 + round);
  }
}

// Every key of a request counts: a thousand selected timers are deleted by
// one form; more pairs than the request table holds act on nothing.
TEST_F(RequestEntry, ThousandKeysAllCount) {
  const std::string columns =
      "datestamp, date, date_year, date_month, date_day, start_hour, start_minute, length_hour, "
      "length_minute, source, channel, quality, target, SAP, timestamp_start, timestamp_offset, "
      "enable, lock, schedule_type, event_id, user_id, user_string";
  TestDb(timerDb).exec(
      "with recursive n(i) as (select 10 union all select i + 1 from n where i "
      "< 1009) insert into timer_record_table (ID, " +
      columns + ") select i, " + columns + " from n, timer_record_table where ID = 1");
  std::string keys;
  for (int id = 10; id < 1010; ++id) keys += "&key=" + std::to_string(id);
  CgiRequest del = request("");
  del.method = "POST";
  del.query.reset();
  del.body = "delete=Delete" + keys;
  EXPECT_EQ(probePage(run(del)).notice, "Deleted 1000 timers.");
  EXPECT_EQ(timerCount(), 2);

  std::string tooMany = "delete=Delete&key=1&key=2";
  for (int i = 0; i < kQuibMaxParams; ++i) tooMany += "&x";
  const ProbePage page = probePage(run(request(tooMany)));
  EXPECT_EQ(page.notice,
            "Nothing was changed: the request has more values than the interface reads.");
  EXPECT_EQ(timerCount(), 2);
}

TEST_F(RequestEntry, DrawingAPageWritesNoToken) {
  ProbePage first = probePage(run(request("")));
  ProbePage second = probePage(run(request("edit=Edit&key=1")));
  EXPECT_EQ(first.formToken.size(), 32u);
  EXPECT_EQ(first.formToken.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(first.formToken, second.formToken);
  TestDb db(authDb);
  if (db.integer("select count(*) from sqlite_master where name = 'formtokens'") == 1) {
    EXPECT_EQ(db.integer("select count(*) from formtokens"), 0);
  }
}

TEST_F(RequestEntry, ResentPasswordChangeChangesNothing) {
  CgiRequest change =
      request(std::string("oldpass=") + kTestPassword + "&newpass1=tv-neu-02&newpass2=tv-neu-02");
  addPageToken(change);
  EXPECT_EQ(probePage(run(change)).msg, "Password changed");
  // Sent again: no second attempt (which would report a wrong old password).
  EXPECT_EQ(probePage(run(change)).msg, "This form was already sent.");
  EXPECT_EQ(probePage(run(change)).page, "CHPASS");
  // A fresh form still changes it; one without its page's token does not.
  EXPECT_EQ(probePage(run(request("oldpass=tv-neu-02&newpass1=tv-neu-03&newpass2=tv-neu-03"))).msg,
            "Password changed");
  const ProbePage refused = probePage(
      runCgi(request("oldpass=tv-neu-03&newpass1=tv-neu-04&newpass2=tv-neu-04&formtoken=00")));
  EXPECT_EQ(refused.page, "CHPASS");
  EXPECT_EQ(refused.msg,
            "Nothing was changed: this request did not come from a form of this page. Reload the "
            "page and try again.");
  EXPECT_EQ(TestDb(authDb).scalar("select pass from users"),
            hashPassword("admin", "tv-neu-03").value());
}

TEST_F(RequestEntry, TokensOlderThanADayGoWithTheSessions) {
  CgiRequest del = request("delete=Delete&key=1");
  addPageToken(del);
  run(del);
  const std::string fresh = TestDb(authDb).scalar("select token from formtokens");
  TestDb(authDb).exec(
      "insert into formtokens (token, used_time) values ('old', strftime('%s', 'now') - 86401)");
  CgiRequest signIn = request(std::string("login=admin&pass=") + kTestPassword);
  run(signIn);
  EXPECT_EQ(TestDb(authDb).rows("select token from formtokens"), std::vector<std::string>{fresh});
}

}  // namespace
