// The sign-in gate through the real program: sign-in, sign-out, sessions
// from the cookie or the request parameter, password changes, and what each
// outcome leaves in the account database.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "quib/quib.h"
#include "support/cgi_accounts.h"
#include "support/cgi_harness.h"
#include "support/test_env.h"

namespace {

class SignInGate : public ::testing::Test {
 protected:
  void SetUp() override {
    writeProbeTemplates(dir.path());
    createFirmwareSchema(timerDb);
    TestDb timers(timerDb);
    timers.exec(
        "insert into timer_record_table (ID, date, date_year, date_month, date_day, start_hour, "
        "start_minute, length_hour, length_minute, source, channel, quality, target, SAP, "
        "timestamp_start, timestamp_offset, enable, lock, schedule_type, event_id, user_id, "
        "user_string) values (4, 0, 2030, 1, 1, 20, 0, 1, 0, 10, 7, 1, 0, 0, 1893528000, 3600, 0, "
        "0, 0, -1, 0, 'News')");
  }

  CgiRequest request(const std::string& query) const {
    CgiRequest request;
    request.workDir = dir.path();
    request.timerDb = timerDb;
    request.query = query;
    return request;
  }

  // Runs the request and checks what every request must: a clean run and a
  // header that ends in the HTML content type.
  CgiResponse run(const CgiRequest& request) const {
    CgiResponse response = runCgi(request);
    EXPECT_EQ(response.errors, "");
    EXPECT_NE(response.header.find(kPageHeaderEnd), std::string::npos) << response.output;
    return response;
  }

  // Signs in as admin and returns the new session's id.
  std::string signIn(const std::string& extra = "") const {
    CgiResponse response = run(request("login=admin&pass=482" + extra));
    EXPECT_EQ(probePage(response).page, "LIST") << response.output;
    std::string id = newSessionId(response);
    EXPECT_FALSE(id.empty()) << response.header;
    return id;
  }

  long long sessionCount() {
    TestDb db(authDb);
    return db.integer("select count(*) from sessions");
  }
  bool sessionExists(const std::string& id) {
    TestDb db(authDb);
    return db.integer("select count(*) from sessions where id = '" + id + "'") == 1;
  }
  std::string storedPass() {
    TestDb db(authDb);
    return db.scalar("select pass from users where login = 'admin'");
  }
  bool timerExists() {
    TestDb db(timerDb);
    return db.integer("select count(*) from timer_record_table where ID = 4") == 1;
  }

  TempDir dir;
  std::string timerDb = dir.file("timers.db");
  std::string authDb = dir.file("quibauth.db");
};

TEST_F(SignInGate, UnsignedRequestGetsSignInPageAndNoAction) {
  CgiResponse response = run(request("delete=Delete&key=4"));
  EXPECT_EQ(response.exitStatus, 0);
  ProbePage page = probePage(response);
  EXPECT_EQ(page.page, "LOGIN");
  EXPECT_EQ(page.msg, "");
  EXPECT_TRUE(setCookieLines(response).empty());
  EXPECT_TRUE(timerExists());
}

TEST_F(SignInGate, SignInOpensPlainSessionAndShowsList) {
  CgiResponse response = run(request("login=admin&pass=482"));
  EXPECT_EQ(response.exitStatus, 0);
  ProbePage page = probePage(response);
  EXPECT_EQ(page.page, "LIST");
  EXPECT_EQ(page.msg, "");
  EXPECT_EQ(page.selfUrl, "skedra.cgi");
  std::vector<std::string> cookies = setCookieLines(response);
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_TRUE(isSessionCookieLine(cookies[0], false)) << cookies[0];
  std::string id = sessionIdOfCookieLine(cookies[0]);

  TestDb db(authDb);
  EXPECT_EQ(db.rows("select login, sticky from sessions where id = '" + id + "'"),
            std::vector<std::string>{"admin|0"});
  EXPECT_EQ(db.integer("select count(*) from sessions"), 1);
  EXPECT_NE(db.scalar("select login_time from users where login = 'admin'"), "");

  // The cookie carries the session into the next request.
  CgiRequest next = request("");
  next.cookie = "quibsession=" + id;
  CgiResponse again = run(next);
  EXPECT_EQ(probePage(again).page, "LIST");
  EXPECT_TRUE(setCookieLines(again).empty());
}

TEST_F(SignInGate, StickySignInFromDeviceCarriesIdInSelfUrl) {
  CgiRequest sticky = request("login=admin&pass=482&sticky=on");
  sticky.remoteAddr = "127.0.0.1";
  CgiResponse response = run(sticky);
  std::vector<std::string> cookies = setCookieLines(response);
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_TRUE(isSessionCookieLine(cookies[0], true)) << cookies[0];
  std::string id = sessionIdOfCookieLine(cookies[0]);
  EXPECT_EQ(probePage(response).selfUrl, "skedra.cgi?quibsession=" + id);
  TestDb db(authDb);
  EXPECT_EQ(db.integer("select sticky from sessions where id = '" + id + "'"), 1);

  // The id in the parameter alone signs the next request in, and a sticky
  // session's cookie is renewed on every use.
  CgiResponse next = run(request("quibsession=" + id));
  EXPECT_EQ(probePage(next).page, "LIST");
  cookies = setCookieLines(next);
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_TRUE(isSessionCookieLine(cookies[0], true)) << cookies[0];
}

TEST_F(SignInGate, SelfUrlCarriesNoIdUnlessStickyFromDevice) {
  struct Case {
    std::string sticky;
    std::optional<std::string> address;
    int storedSticky;
  };
  const Case cases[] = {
      {"&sticky=on", "192.168.1.20", 1}, {"&sticky=on", std::nullopt, 1},
      {"&sticky=on", "127.0.0.10", 1},   {"&sticky=ON", "127.0.0.1", 0},
      {"&sticky=on%20", "127.0.0.1", 0}, {"&sticky=", "127.0.0.1", 0},
      {"&sticky", "127.0.0.1", 0},       {"", "127.0.0.1", 0},
      {"&sticky=onx", "127.0.0.1", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sticky + " from " + c.address.value_or("<none>"));
    CgiRequest signIn = request("login=admin&pass=482" + c.sticky);
    signIn.remoteAddr = c.address;
    CgiResponse response = run(signIn);
    ProbePage page = probePage(response);
    EXPECT_EQ(page.page, "LIST");
    EXPECT_EQ(page.selfUrl, "skedra.cgi");
    std::string id = newSessionId(response);
    ASSERT_FALSE(id.empty());
    TestDb db(authDb);
    EXPECT_EQ(db.integer("select sticky from sessions where id = '" + id + "'"), c.storedSticky);
    std::vector<std::string> cookies = setCookieLines(response);
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_TRUE(isSessionCookieLine(cookies[0], c.storedSticky != 0)) << cookies[0];
  }
}

TEST_F(SignInGate, LogoutWithCookieEndsThatSessionOnly) {
  std::string mine = signIn();
  std::string other = signIn();
  ASSERT_NE(mine, other);
  CgiRequest logout = request("logout");
  logout.cookie = "quibsession=" + mine;
  CgiResponse response = run(logout);
  EXPECT_EQ(response.exitStatus, 0);
  ProbePage page = probePage(response);
  EXPECT_EQ(page.page, "LOGIN");
  EXPECT_EQ(page.msg, "Logged out.");
  EXPECT_EQ(setCookieLines(response), std::vector<std::string>{kSessionRemovalLine});
  EXPECT_FALSE(sessionExists(mine));
  EXPECT_TRUE(sessionExists(other));
}

TEST_F(SignInGate, LogoutWithoutCookie) {
  std::string id = signIn();
  // Nothing to end: the sign-in page without a message.
  CgiResponse bare = run(request("logout=Logout"));
  EXPECT_EQ(probePage(bare).page, "LOGIN");
  EXPECT_EQ(probePage(bare).msg, "");
  EXPECT_TRUE(setCookieLines(bare).empty());

  // A session named only by the parameter is not ended and the request goes on.
  CgiResponse withParam = run(request("logout&quibsession=" + id));
  ProbePage page = probePage(withParam);
  EXPECT_EQ(page.page, "LIST");
  EXPECT_EQ(page.msg, "");
  EXPECT_TRUE(sessionExists(id));
}

TEST_F(SignInGate, LogoutWinsOverSignIn) {
  std::string id = signIn();
  CgiRequest both = request("login=admin&pass=482&logout");
  both.cookie = "quibsession=" + id;
  CgiResponse response = run(both);
  EXPECT_EQ(probePage(response).page, "LOGIN");
  EXPECT_EQ(probePage(response).msg, "Logged out.");
  EXPECT_EQ(setCookieLines(response), std::vector<std::string>{kSessionRemovalLine});
  EXPECT_EQ(sessionCount(), 0);
}

TEST_F(SignInGate, PasswordWithoutLoginIsRefusedWithoutAccountCheck) {
  for (const char* query : {"pass=482", "pass=482&login", "pass="}) {
    SCOPED_TRACE(query);
    CgiResponse response = run(request(query));
    EXPECT_EQ(response.exitStatus, 0);
    EXPECT_EQ(probePage(response).page, "LOGIN");
    EXPECT_EQ(probePage(response).msg, "Invalid login.");
    EXPECT_TRUE(setCookieLines(response).empty());
  }
  // No account was looked up: the account database was never even opened.
  EXPECT_TRUE(readFile(authDb).empty());
}

TEST_F(SignInGate, WrongPasswordOpensNoSession) {
  for (const char* query : {"login=admin&pass=481", "login=admin&pass=", "login=Admin&pass=482",
                            "login=admin&pass=482x", "login=&pass=482", "login=admin+&pass=482"}) {
    SCOPED_TRACE(query);
    CgiResponse response = run(request(std::string(query) + "&delete&key=4"));
    EXPECT_EQ(response.exitStatus, 0);
    EXPECT_EQ(probePage(response).page, "LOGIN");
    EXPECT_EQ(probePage(response).msg, "Invalid login.");
    EXPECT_TRUE(setCookieLines(response).empty());
  }
  EXPECT_EQ(sessionCount(), 0);
  EXPECT_TRUE(timerExists());
}

TEST_F(SignInGate, RepeatedFailuresLockTheNameWhateverThePassword) {
  for (const char* login : {"admin", "nobody"}) {
    SCOPED_TRACE(login);
    const std::string name = std::string("login=") + login;
    for (int attempt = 0; attempt < 5; ++attempt) {
      EXPECT_EQ(probePage(run(request(name + "&pass=bad"))).msg, "Invalid login.");
    }
    CgiResponse locked = run(request(name + "&pass=482&delete&key=4"));
    EXPECT_EQ(locked.exitStatus, 0);
    EXPECT_EQ(probePage(locked).page, "LOGIN");
    EXPECT_EQ(probePage(locked).msg, "Too many failed sign-ins. Try again later.");
    EXPECT_TRUE(setCookieLines(locked).empty());
  }
  EXPECT_EQ(sessionCount(), 0);
  EXPECT_TRUE(timerExists());
}

TEST_F(SignInGate, FailedSignInEndsTheCookieSession) {
  std::string id = signIn();
  CgiRequest failed = request("login=admin&pass=wrong");
  failed.cookie = "quibsession=" + id;
  CgiResponse response = run(failed);
  EXPECT_EQ(probePage(response).page, "LOGIN");
  EXPECT_EQ(probePage(response).msg, "Invalid login.");
  EXPECT_EQ(setCookieLines(response), std::vector<std::string>{kSessionRemovalLine});
  EXPECT_FALSE(sessionExists(id));
}

TEST_F(SignInGate, FailedSignInWithParameterSessionGoesOnToList) {
  std::string id = signIn();
  CgiResponse response = run(request("login=admin&pass=wrong&quibsession=" + id));
  ProbePage page = probePage(response);
  EXPECT_EQ(page.page, "LIST");
  EXPECT_EQ(page.msg, "Invalid login.");
  EXPECT_TRUE(sessionExists(id));
  EXPECT_TRUE(setCookieLines(response).empty());
}

TEST_F(SignInGate, SignInAgainReplacesTheCookieSession) {
  std::string old = signIn();
  CgiRequest again = request("login=admin&pass=482");
  again.cookie = "quibsession=" + old;
  CgiResponse response = run(again);
  std::vector<std::string> cookies = setCookieLines(response);
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_EQ(cookies[0], kSessionRemovalLine);
  EXPECT_TRUE(isSessionCookieLine(cookies[1], false)) << cookies[1];
  EXPECT_FALSE(sessionExists(old));
  EXPECT_TRUE(sessionExists(sessionIdOfCookieLine(cookies[1])));
  EXPECT_EQ(sessionCount(), 1);
}

TEST_F(SignInGate, PasswordSignInLooksUpNoSession) {
  createAccountDb(authDb);
  addSession(authDb, "9-9-9", "admin", true, 1000);
  long long before;
  {
    TestDb db(authDb);
    before = db.integer("select access_time from sessions where id = '9-9-9'");
  }
  CgiResponse response = run(request("login=admin&pass=482&quibsession=9-9-9"));
  EXPECT_EQ(probePage(response).page, "LIST");
  // Only the new session's cookie: the sticky session named by the parameter
  // was neither touched nor renewed.
  std::vector<std::string> cookies = setCookieLines(response);
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_NE(sessionIdOfCookieLine(cookies[0]), "9-9-9");
  TestDb db(authDb);
  EXPECT_EQ(db.integer("select access_time from sessions where id = '9-9-9'"), before);
}

TEST_F(SignInGate, SignInCarriesOutTheActionOfTheSameRequest) {
  CgiResponse response = run(request("delete=Delete&key=4&login=admin&pass=482"));
  EXPECT_EQ(response.exitStatus, 0);
  EXPECT_EQ(probePage(response).page, "LIST");
  EXPECT_FALSE(timerExists());
}

TEST_F(SignInGate, ExpiredSessionGetsSignInPage) {
  createAccountDb(authDb);
  addSession(authDb, "1-2-3", "admin", false, 300);
  addSession(authDb, "4-5-6", "admin", false, 250);
  CgiRequest expired = request("");
  expired.cookie = "quibsession=1-2-3";
  EXPECT_EQ(probePage(run(expired)).page, "LOGIN");
  EXPECT_FALSE(sessionExists("1-2-3"));
  CgiRequest fresh = request("");
  fresh.cookie = "quibsession=4-5-6";
  EXPECT_EQ(probePage(run(fresh)).page, "LIST");
}

TEST_F(SignInGate, PasswordChangeFailuresShowPasswordPage) {
  std::string id = signIn();
  std::string before = storedPass();
  struct Case {
    const char* query;
    const char* message;
  };
  const Case cases[] = {
      {"oldpass=482&newpass1=abc&newpass2=abd", "Password mismatch"},
      {"oldpass=482&newpass2=abc", "Password mismatch"},
      {"oldpass=482&newpass1&newpass2=abc", "Password mismatch"},
      {"newpass1=abc&newpass2=abc", "Invalid old password"},
      {"oldpass&newpass1=abc&newpass2=abc", "Invalid old password"},
      {"oldpass=481&newpass1=abc&newpass2=abc", "Invalid old password"},
      {"oldpass=&newpass1=abc&newpass2=abc", "Invalid old password"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    CgiRequest change = request(c.query);
    change.cookie = "quibsession=" + id;
    CgiResponse response = run(change);
    EXPECT_EQ(response.exitStatus, 0);
    EXPECT_EQ(probePage(response).page, "CHPASS");
    EXPECT_EQ(probePage(response).msg, c.message);
    EXPECT_EQ(storedPass(), before);
  }
  TestDb db(authDb);
  EXPECT_EQ(db.scalar("select passchange_time from users where login = 'admin'"), "");
}

TEST_F(SignInGate, PasswordChangeSucceedsAndNewPasswordSignsIn) {
  std::string elsewhere = signIn("&sticky=on");
  std::string id = signIn();
  CgiRequest change = request("oldpass=482&newpass1=s3cret&newpass2=s3cret");
  change.cookie = "quibsession=" + id;
  CgiResponse response = run(change);
  EXPECT_EQ(probePage(response).page, "LIST");
  EXPECT_EQ(probePage(response).msg, "Password changed");
  EXPECT_EQ(storedPass(), hashPassword("admin", "s3cret").value());
  {
    TestDb db(authDb);
    EXPECT_NE(db.scalar("select passchange_time from users where login = 'admin'"), "");
  }
  // The user's other sessions end with the old password.
  EXPECT_TRUE(sessionExists(id));
  EXPECT_FALSE(sessionExists(elsewhere));

  EXPECT_EQ(probePage(run(request("login=admin&pass=482"))).msg, "Invalid login.");
  EXPECT_EQ(probePage(run(request("login=admin&pass=s3cret"))).page, "LIST");
}

TEST_F(SignInGate, ChangeWithChpassStaysOnPasswordPage) {
  std::string id = signIn();
  CgiRequest change = request("oldpass=482&newpass1=x&newpass2=x&chpass");
  change.cookie = "quibsession=" + id;
  CgiResponse response = run(change);
  EXPECT_EQ(probePage(response).page, "CHPASS");
  EXPECT_EQ(probePage(response).msg, "Password changed");
  EXPECT_EQ(storedPass(), hashPassword("admin", "x").value());
}

TEST_F(SignInGate, ChpassAloneShowsEmptyPasswordPage) {
  std::string id = signIn();
  CgiRequest show = request("chpass=Change+password");
  show.cookie = "quibsession=" + id;
  CgiResponse response = run(show);
  EXPECT_EQ(response.exitStatus, 0);
  EXPECT_EQ(probePage(response).page, "CHPASS");
  EXPECT_EQ(probePage(response).msg, "");
  // Not signed in: the sign-in page, not the password page.
  EXPECT_EQ(probePage(run(request("chpass"))).page, "LOGIN");
}

TEST_F(SignInGate, EmptyNewPasswordIsRefused) {
  std::string id = signIn();
  const std::string before = storedPass();
  CgiRequest change = request("oldpass=482&newpass1=&newpass2=");
  change.cookie = "quibsession=" + id;
  ProbePage page = probePage(run(change));
  EXPECT_EQ(page.page, "CHPASS");
  EXPECT_EQ(page.msg, "Password mismatch");
  EXPECT_EQ(storedPass(), before);
  EXPECT_EQ(probePage(run(request("login=admin&pass="))).page, "LOGIN");
}

TEST_F(SignInGate, SignInAndChangeInOneRequestUseTheVerifiedName) {
  std::string elsewhere = signIn();
  CgiResponse response = run(request("login=admin&pass=482&oldpass=482&newpass1=n&newpass2=n"));
  EXPECT_EQ(response.exitStatus, 0);
  EXPECT_EQ(probePage(response).page, "LIST");
  EXPECT_EQ(probePage(response).msg, "Password changed");
  EXPECT_EQ(storedPass(), hashPassword("admin", "n").value());
  EXPECT_TRUE(sessionExists(newSessionId(response)));
  EXPECT_FALSE(sessionExists(elsewhere));

  CgiResponse mismatch = run(request("login=admin&pass=n&oldpass=n&newpass1=a&newpass2=b"));
  EXPECT_EQ(mismatch.exitStatus, 0);
  EXPECT_EQ(probePage(mismatch).page, "CHPASS");
  EXPECT_EQ(probePage(mismatch).msg, "Password mismatch");
  EXPECT_EQ(storedPass(), hashPassword("admin", "n").value());
}

TEST_F(SignInGate, MissingPageTemplateGivesHeaderOnly) {
  std::remove(dir.file("login.shtml").c_str());
  CgiResponse response = run(request("logout"));
  EXPECT_EQ(response.exitStatus, 0);
  EXPECT_EQ(response.output, std::string(kPageHeaderEnd) + "\n");
}

TEST_F(SignInGate, ShippedPagesCarryTheFormsAndTheMessage) {
  copyShippedTemplates(dir.path());
  CgiResponse login = run(request("login=admin&pass=bad"));
  EXPECT_EQ(login.exitStatus, 0);
  for (const char* needle :
       {"<!DOCTYPE html>", "<meta charset=\"utf-8\">", "name=\"viewport\"", "action=\"skedra.cgi\"",
        "method=\"post\"", "name=\"login\"", "type=\"password\" id=\"pass\" name=\"pass\"",
        "type=\"checkbox\" id=\"sticky\" name=\"sticky\" value=\"on\"", "Keep me signed in",
        ">Invalid login.<", "href=\"../skedra.css\""}) {
    EXPECT_NE(login.body.find(needle), std::string::npos) << needle;
  }
  EXPECT_EQ(login.body.find("<!--%quib"), std::string::npos);

  addSession(authDb, "a-b-c", "admin", false);
  CgiRequest show = request("chpass");
  show.cookie = "quibsession=a-b-c";
  CgiResponse chpass = run(show);
  for (const char* needle : {"name=\"oldpass\"", "name=\"newpass1\"", "name=\"newpass2\"",
                             "action=\"skedra.cgi\"", "href=\"skedra.cgi\""}) {
    EXPECT_NE(chpass.body.find(needle), std::string::npos) << needle;
  }
  EXPECT_EQ(chpass.body.find("<!--%quib"), std::string::npos);
}

}  // namespace
