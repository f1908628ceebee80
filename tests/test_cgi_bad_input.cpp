// Untrusted input through the real program: every request value, cookie and
// credential may be missing, malformed, huge or hostile, and the account
// database may be missing, read-only, locked or of another layout. Nothing
// may crash, sign in without a valid password or session, or write where it
// should not.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "quib/quib.h"
#include "support/cgi_accounts.h"
#include "support/cgi_harness.h"
#include "support/test_env.h"

namespace {

constexpr const char* kSession = "5a-6b-7c";
constexpr const char* kAllColumns = "select * from timer_record_table order by ID";
const std::string kSignInAndDelete =
    std::string("login=admin&pass=") + kTestPassword + "&delete&key=1";

std::string quibErrorPage(int code, const std::string& message) {
  return "<html><head><title>ERROR</title></head><body><h3>quib SQL error code: " +
         std::to_string(code) + ", message: " + message + "</h3></body></html>\n";
}

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    writeProbeTemplates(dir.path());
    createFirmwareSchema(timerDb);
    TestDb timers(timerDb);
    for (int id : {1, 2}) {
      timers.exec(
          "insert into timer_record_table (ID, datestamp, date, date_year, date_month, date_day, "
          "start_hour, start_minute, length_hour, length_minute, source, channel, quality, "
          "target, SAP, timestamp_start, timestamp_offset, enable, lock, schedule_type, "
          "event_id, user_id, user_string) values (" +
          std::to_string(id) +
          ", 0, 0, 2030, 1, 1, 20, 0, 1, 0, 10, 7, 1, 0, 0, 1893528000, 3600, 1, 0, 0, -1, 0, "
          "'Kept')");
    }
  }

  CgiRequest get(const std::string& query, bool signedIn = true) const {
    CgiRequest request;
    request.workDir = dir.path();
    request.timerDb = timerDb;
    request.query = query;
    if (signedIn) request.cookie = std::string("quibsession=") + kSession;
    return request;
  }
  CgiRequest post(const std::string& body, bool signedIn = true) const {
    CgiRequest request = get("", signedIn);
    request.query.reset();
    request.method = "POST";
    request.body = body;
    return request;
  }

  // Arranges the accounts and the signed-in user's session.
  void withAccounts() {
    createAccountDb(authDb);
    addSession(authDb, kSession, "admin", false);
  }

  // Runs a request that must end normally, with no report on standard error.
  CgiResponse run(const CgiRequest& request) const {
    CgiResponse response = runFromPage(request);
    EXPECT_EQ(response.exitStatus, 0) << response.output;
    EXPECT_EQ(response.errors, "");
    return response;
  }

  std::vector<std::string> timers() const {
    TestDb db(timerDb);
    return db.rows(kAllColumns);
  }
  std::vector<std::string> sessions() const {
    TestDb db(authDb);
    return db.rows("select id, login, sticky from sessions order by id");
  }
  // The stored title of the newest timer, as hexadecimal bytes.
  std::string newestTitleHex() const {
    TestDb db(timerDb);
    return db.scalar("select hex(user_string) from timer_record_table order by ID desc limit 1");
  }
  long long timerCount() const {
    TestDb db(timerDb);
    return db.integer("select count(*) from timer_record_table");
  }

  TempDir dir;
  std::string timerDb = dir.file("schedule_record.db");
  std::string authDb = dir.file("quibauth.db");
};

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string repeated(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST_F(BadInput, MalformedRequestsWriteNothing) {
  withAccounts();
  const std::vector<std::string> queries = {
      "",
      "&&&",
      "=",
      "==&=&&=x",
      "%",
      "%%%&%zz=%zz",
      "%00",
      "delete=%00",
      "delete&key=%00",
      "delete&key",
      "delete&key=&key=",
      "delete&key=0+or+1=1",
      "delete&key=-1%27%20or%20%271%27=%271",
      "enable&key=99999999999999999999",
      "disable&key=-99999999999999999999",
      "edit&key=99999999999999999999999999",
      "edit&key=-2147483649",
      "\xff\xfe=\x80&edit&key=\xc3\x28",
      "title=" + std::string(100000, 'T'),
      "title=" + std::string(60000, 'T'),
      "edit&key=" + std::string(10000, '9'),
      // More pairs than the table holds: the request acts on nothing.
      repeated("x&", kQuibMaxParams) + "delete&key=1",
  };
  std::vector<std::string> before = timers();
  std::vector<std::string> sessionsBefore = sessions();
  for (const std::string& query : queries) {
    SCOPED_TRACE(query.substr(0, 80));
    for (bool usePost : {false, true}) {
      // A body over 64 KiB is refused as a whole (its own test below).
      if (usePost && query.size() > 65536) continue;
      CgiResponse response = run(usePost ? post(query) : get(query));
      EXPECT_EQ(probePage(response).page, "LIST") << response.output.substr(0, 200);
      EXPECT_EQ(timers(), before);
    }
  }
  EXPECT_EQ(sessions(), sessionsBefore);
}

TEST_F(BadInput, TitlesAreStoredExactlyAsDecoded) {
  withAccounts();
  struct Case {
    std::string raw;
    std::string stored;
    bool written = true;  // false: refused (not UTF-8, or too long)
  };
  const std::vector<Case> cases = {
      {"\xff\xfe+\x80", "", false},
      {"%27%29%3B+drop+table+timer_record_table%3B+--", "'); drop table timer_record_table; --"},
      {"%3Cb%3ENews+%26amp%3B+%22Weather%22%3C%2Fb%3E", "<b>News &amp; \"Weather\"</b>"},
      {"a%00b", "a"},
      {"50%", "50"},
      {"a%4", "a4"},
      {"%4A%4a", "JJ"},
      {"%e2%80%8f%F0%9F%93%BA", "\xe2\x80\x8f\xf0\x9f\x93\xba"},
      {"first&title=second", "first"},
      {std::string(20000, 'L'), "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw.substr(0, 60));
    long long count = timerCount();
    const std::string newest = newestTitleHex();
    run(get("create=Create&channel=7&day=2&month=1&year=2030&hh=20&mm=0&hours=1&title=" + c.raw));
    EXPECT_EQ(timerCount(), count + (c.written ? 1 : 0));
    EXPECT_EQ(newestTitleHex(), c.written ? hex(c.stored) : newest);
  }
}

// Huge dates and times carry over and still write one row; a length or a
// margin beyond the bounds (which would wrap into the firmware's row) writes
// nothing, the padding defaults included.
TEST_F(BadInput, CreateWithAbsentOrHugeValuesWritesOneRowOrNone) {
  withAccounts();
  struct Case {
    std::string query;
    long long written;
  };
  const std::vector<Case> cases = {
      {"create", 0},
      {"create=&title", 0},
      {"update&key", 0},
      {"create&hours=1", 1},
      {"create&channel=99999999999999&day=-99999999999&month=4294967297&year=99999999999&"
       "hh=-2147483649&mm=2147483648&hours=1&mins=-1&repeat=4294967298&quality=99999999999&"
       "target=-1&disabled=9999999999",
       1},
      {"create&repeat=2&year=2147483647&month=2147483647&day=2147483647&hh=2147483647&"
       "mm=2147483647&hours=24",
       1},
      // Its year, less 1900, wraps to one far past 2038: refused.
      {"create&repeat=11&year=-2147483648&mins=1", 0},
      {"create&channel=99999999999999&day=-99999999999&month=4294967297&year=99999999999&"
       "hh=-2147483649&mm=2147483648&hours=99999999999&mins=-99999999999&prepad=99999999999&"
       "postpad=-99999999999&repeat=4294967298&quality=99999999999&target=-1&disabled=9999999999",
       0},
      {"create&repeat=2&year=2147483647&month=2147483647&day=2147483647&hh=2147483647&"
       "mm=2147483647&hours=1&prepad=-2147483648&postpad=-2147483648",
       0},
      {"create&repeat=11&year=-2147483648&hours=2147483647&mins=2147483647&prepad=2147483647&"
       "postpad=2147483647",
       0},
      {"create&hours=2147483647&mins=-2147483648", 0},
      {"savedef&create&hours=1&prepad=99999999999&postpad=99999999999&repeat=9", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    long long count = timerCount();
    CgiResponse response = run(get(c.query));
    EXPECT_EQ(probePage(response).page, "LIST");
    EXPECT_EQ(timerCount(), count + c.written);
  }
  TestDb db(timerDb);
  EXPECT_EQ(db.integer("select count(*) from sqlite_master where name = 'settings'"), 0);
}

TEST_F(BadInput, PostBodyOver64KiBIsRefusedWithAnErrorPage) {
  withAccounts();
  const std::string prefix = "create=1&channel=7&hours=1&title=";
  CgiResponse response = runCgi(post(prefix + std::string(65536 - prefix.size() + 1, 'A')));
  EXPECT_EQ(response.exitStatus, 1);
  EXPECT_NE(response.body.find("Request body too large"), std::string::npos) << response.output;
  EXPECT_NE(response.header.find(kPageHeaderEnd), std::string::npos);
  EXPECT_EQ(response.header.rfind("Status: 413 Payload Too Large\n", 0), 0u);
  EXPECT_EQ(timerCount(), 2);

  // A body of exactly 64 KiB is read whole: the title comes at its end.
  const std::string start = "create=1&channel=7&hours=1&fill=", end = "&title=End";
  CgiRequest exact = post(start);
  addPageToken(exact);
  exact.body += std::string(65536 - exact.body.size() - end.size(), 'A') + end;
  response = run(exact);
  EXPECT_EQ(probePage(response).page, "LIST");
  EXPECT_EQ(newestTitleHex(), hex("End"));
}

TEST_F(BadInput, StalledPostBodyIsGivenUpAfterTenSeconds) {
  withAccounts();
  CgiRequest request = post("delete=1&key=1&key=2");
  request.contentLength = "1000";
  request.keepInputOpen = true;
  const auto start = std::chrono::steady_clock::now();
  CgiResponse response = run(request);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(probePage(response).page, "LIST");
  EXPECT_EQ(timerCount(), 2);
  EXPECT_GE(took, std::chrono::seconds(9));
  EXPECT_LT(took, std::chrono::seconds(30));
}

TEST_F(BadInput, ForgedSessionsSignNothingIn) {
  withAccounts();
  const std::string valid = kSession;
  const std::vector<std::string> cookies = {
      "quibsession=deadbeef",
      "quibsession=",
      "quibsession",
      "=5a-6b-7c",
      "quibsession=" + std::string(10240, 'f'),
      "quibsession=' or '1'='1",
      "quibsession=%35a-6b-7c",
      "quibsession=5A-6B-7C",
      "quibsession=5a-6b-7c%00",
      "quibsession=5a-6b-7",
      "QUIBSESSION=" + valid,
      "xquibsession=" + valid,
      "quibsession=forged; quibsession=" + valid,
      "quibsession=" + valid + "x; quibsession=" + valid,
      "quibsession=\xff\xfe",
  };
  std::vector<std::string> before = timers();
  std::vector<std::string> sessionsBefore = sessions();
  for (const std::string& cookie : cookies) {
    SCOPED_TRACE(cookie.substr(0, 60));
    CgiRequest withCookie = get("delete&key=1", false);
    withCookie.cookie = cookie;
    EXPECT_EQ(probePage(run(withCookie)).page, "LOGIN");
  }
  const std::vector<std::string> parameters = {
      "quibsession=deadbeef",
      "quibsession=",
      "quibsession",
      "quibsession=" + std::string(10240, 'f'),
      "quibsession=%27+or+%271%27=%271",
      "quibsession=' or '1'='1",
      "quibsession=%35a-6b-7c",
      "quibsession=5A-6B-7C",
      "quibsession=5a-6b-7c%00",
      "quibsession=5a-6b-7c+",
      "quibsession=+5a-6b-7c",
      "quibsession=5a-6b-7",
      "quibsession=\xff\xfe",
      "QUIBSESSION=" + valid,
      "quibsession%3D" + valid,
      "quibsession=forged&quibsession=" + valid,
  };
  for (const std::string& parameter : parameters) {
    SCOPED_TRACE(parameter.substr(0, 60));
    EXPECT_EQ(probePage(run(get("delete&key=1&" + parameter, false))).page, "LOGIN");
  }
  // A forged cookie hides a valid parameter: the cookie is looked up alone.
  CgiRequest both = get("delete&key=1&quibsession=" + valid, false);
  both.cookie = "quibsession=forged";
  EXPECT_EQ(probePage(run(both)).page, "LOGIN");

  EXPECT_EQ(timers(), before);
  EXPECT_EQ(sessions(), sessionsBefore);
}

TEST_F(BadInput, WrongCredentialsSignNothingIn) {
  withAccounts();
  const std::string p = kTestPassword;
  // The password with every byte written as %XX: the program does not decode it.
  std::string encoded;
  for (unsigned char c : p) encoded += "%" + hex(std::string(1, static_cast<char>(c)));
  const std::vector<std::string> attempts = {
      "login=admin&pass=" + p + "%00",
      "login=admin%00&pass=" + p,
      "login=admin&pass=" + encoded,
      "login=admin+&pass=" + p,
      "login=admin&pass=+" + p,
      "login=admin " + p + "&pass=",
      "login=admin&pass=" + p + " ",
      "login=admin%27--&pass=x",
      "login=admin&pass=%27+or+%271%27%3D%271",
      "login=' or 1=1 --&pass=",
      "login=admin' --&pass=",
      "login=\"admin\"&pass=" + p,
      "login=\xff\xfe&pass=\x80",
      "login=admin&pass=\xff" + std::string(10240, 'p'),
      "login=" + std::string(10240, 'a') + "&pass=" + p,
      "login=x&login=admin&pass=" + p,
      "login=admin&pass=x&pass=" + p,
      "login=admin&pass",
  };
  std::vector<std::string> before = timers();
  std::vector<std::string> sessionsBefore = sessions();
  for (const std::string& attempt : attempts) {
    SCOPED_TRACE(attempt.substr(0, 60));
    for (bool usePost : {false, true}) {
      std::string query = "delete&key=1&" + attempt;
      CgiResponse response = run(usePost ? post(query, false) : get(query, false));
      // Each attempt on its own, not as one of a series that locks the name.
      TestDb(authDb).exec("delete from signinfailures");
      ProbePage page = probePage(response);
      EXPECT_EQ(page.page, "LOGIN");
      std::string expected = attempt == "login=admin&pass" ? "" : "Invalid login.";
      EXPECT_EQ(page.msg, expected);
      EXPECT_TRUE(setCookieLines(response).empty());
    }
  }
  EXPECT_EQ(timers(), before);
  EXPECT_EQ(sessions(), sessionsBefore);
}

TEST_F(BadInput, AnyPasswordBytesCanBeSetAndUsed) {
  withAccounts();
  const std::string odd = "it's a \"pass\" %41 \xff\xfe " + std::string(200, 'w');
  CgiResponse changed =
      run(post(std::string("oldpass=") + kTestPassword + "&newpass1=" + odd + "&newpass2=" + odd));
  EXPECT_EQ(probePage(changed).msg, "Password changed");

  CgiResponse signedIn = run(post("login=admin&pass=" + odd, false));
  EXPECT_EQ(probePage(signedIn).page, "LIST");
  CgiResponse near = run(post("login=admin&pass=" + odd.substr(0, odd.size() - 1), false));
  EXPECT_EQ(probePage(near).page, "LOGIN");
  CgiResponse old = run(post(std::string("login=admin&pass=") + kTestPassword, false));
  EXPECT_EQ(probePage(old).page, "LOGIN");
}

TEST_F(BadInput, UnopenableAccountDatabaseIsFatal) {
  std::vector<std::string> before = timers();
  for (const std::string& query :
       {kSignInAndDelete, std::string("quibsession=1-2-3&delete&key=1")}) {
    SCOPED_TRACE(query);
    CgiRequest request = get(query, false);
    request.authDb = dir.file("missing/quibauth.db");
    CgiResponse response = runCgi(request);
    EXPECT_EQ(response.exitStatus, 1);
    EXPECT_EQ(response.errors, "");
    EXPECT_EQ(response.output, "Status: 500 Internal Server Error\n" + std::string(kPageHeaderEnd) +
                                   "\n" + quibErrorPage(14, "unable to open database file"));
  }
  // Without any credentials the account database is never opened.
  CgiRequest anonymous = get("delete&key=1", false);
  anonymous.authDb = dir.file("missing/quibauth.db");
  EXPECT_EQ(probePage(run(anonymous)).page, "LOGIN");
  EXPECT_EQ(timers(), before);
}

}  // namespace
