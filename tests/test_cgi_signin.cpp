// The sign-in gate through the real program: sign-in, sign-out, sessions
// from the cookie or the request parameter, password changes, and what each
// outcome leaves in the account database.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>

#include "quib/quib.h"
#include "support/cgi_accounts.h"
#include "support/cgi_harness.h"
#include "support/test_env.h"

namespace {

const std::string kPass = kTestPassword;
const std::string kSignIn = std::string("login=admin&pass=") + kTestPassword;

class SignInGate : public ::testing::Test {
 protected:
  void SetUp() override {
    writeProbeTemplates(dir.path());
    createAccountDb(authDb);
    createFirmwareSchema(timerDb);
    insertTimer();
  }

  // Timer 4 as the tests start with it.
  void insertTimer() const {
    TestDb timers(timerDb);
    timers.exec(
        "insert or replace into timer_record_table (ID, date, date_year, date_month, date_day, "
        "start_hour, "
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
    CgiResponse response = runFromPage(request);
    EXPECT_EQ(response.errors, "");
    EXPECT_NE(response.header.find(kPageHeaderEnd), std::string::npos) << response.output;
    return response;
  }

  // Signs in as admin and returns the new session's id.
  std::string signIn(const std::string& extra = "") const {
    CgiResponse response = run(request(kSignIn + extra));
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
  // Gives admin back the initial password, as a new account database has it.
  void useInitialPassword() {
    TestDb(authDb).exec("update users set pass = '" + hashPassword("admin", "482").value() +
                        "' where login = 'admin'");
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
  CgiResponse response = run(request(kSignIn));
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
  CgiRequest sticky = request(kSignIn + "&sticky=on");
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
    CgiRequest signIn = request(kSignIn + c.sticky);
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
  EXPECT_EQ(page.box, "status");
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

  // A session that the page's links carry ends as one that the cookie carries.
  CgiResponse withParam = run(request("logout&quibsession=" + id));
  ProbePage page = probePage(withParam);
  EXPECT_EQ(page.page, "LOGIN");
  EXPECT_EQ(page.msg, "Logged out.");
  EXPECT_FALSE(sessionExists(id));
  EXPECT_EQ(probePage(run(request("quibsession=" + id))).page, "LOGIN");
}

TEST_F(SignInGate, LogoutWinsOverSignIn) {
  std::string id = signIn();
  CgiRequest both = request(kSignIn + "&logout");
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
    // An account database that cannot be opened: any account check is fatal.
    CgiRequest signIn = request(query);
    signIn.authDb = dir.file("missing/quibauth.db");
    CgiResponse response = run(signIn);
    EXPECT_EQ(response.exitStatus, 0);
    EXPECT_EQ(probePage(response).page, "LOGIN");
    EXPECT_EQ(probePage(response).msg, "Invalid login.");
    EXPECT_TRUE(setCookieLines(response).empty());
  }
}

TEST_F(SignInGate, RepeatedFailuresHoldUpTheGuessersAddressOnly) {
  auto from = [this](const std::string& query, const char* address) {
    CgiRequest r = request(query);
    r.remoteAddr = address;
    return run(r);
  };
  for (const char* login : {"admin", "nobody"}) {
    SCOPED_TRACE(login);
    const std::string name = std::string("login=") + login;
    for (int attempt = 0; attempt < 5; ++attempt) {
      EXPECT_EQ(probePage(from(name + "&pass=bad", "192.168.1.66")).msg, "Invalid login.");
    }
    // Whatever the password, and again and again: every refusal counts.
    for (int attempt = 0; attempt < 3; ++attempt) {
      CgiResponse locked = from(name + "&pass=" + kPass + "&delete&key=4", "192.168.1.66");
      EXPECT_EQ(locked.exitStatus, 0);
      EXPECT_EQ(probePage(locked).page, "LOGIN");
      EXPECT_EQ(probePage(locked).msg, "Too many failed sign-ins. Try again later.");
      EXPECT_TRUE(setCookieLines(locked).empty());
    }
  }
  EXPECT_EQ(sessionCount(), 0);
  EXPECT_TRUE(timerExists());
  EXPECT_EQ(TestDb(authDb).integer("select failures from signinfailures where login = 'admin'"), 8);
  // The owner from an address without failures signs in and acts.
  CgiResponse owner = from(kSignIn + "&delete&key=4", "192.168.1.10");
  EXPECT_EQ(probePage(owner).page, "LIST") << owner.output;
  EXPECT_FALSE(timerExists());
}

TEST_F(SignInGate, FailedSignInEndsTheCookieSession) {
  std::string id = signIn();
  CgiRequest failed = request("login=admin&pass=wrong");
  failed.cookie = "quibsession=" + id;
  CgiResponse response = run(failed);
  EXPECT_EQ(probePage(response).page, "LOGIN");
  EXPECT_EQ(probePage(response).msg, "Invalid login.");
  EXPECT_EQ(probePage(response).box, "alert");
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
  CgiRequest again = request(kSignIn);
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
  addSession(authDb, "9-9-9", "admin", true, 1000);
  long long before;
  {
    TestDb db(authDb);
    before = db.integer("select access_time from sessions where id = '9-9-9'");
  }
  CgiResponse response = run(request(kSignIn + "&quibsession=9-9-9"));
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
  CgiResponse response = run(request("delete=Delete&key=4&" + kSignIn));
  EXPECT_EQ(response.exitStatus, 0);
  EXPECT_EQ(probePage(response).page, "LIST");
  EXPECT_FALSE(timerExists());
}

TEST_F(SignInGate, PasswordChangeFailuresShowPasswordPage) {
  std::string id = signIn();
  addSession(authDb, "1-1-1", "livingroom", false);
  std::string before = storedPass();
  const std::string fresh = "&newpass1=tv-guide-9&newpass2=tv-guide-9";
  struct Case {
    std::string query;
    const char* message;
    std::string session = "";
  };
  const Case cases[] = {
      {"oldpass=" + kPass + "&newpass1=abc&newpass2=abd", "Password mismatch"},
      {"oldpass=" + kPass + "&newpass2=abc", "Password mismatch"},
      {"oldpass=" + kPass + "&newpass1&newpass2=abc", "Password mismatch"},
      {"oldpass=" + kPass + "&newpass1=&newpass2=", "Password mismatch"},
      {fresh.substr(1), "Invalid old password"},
      {"oldpass" + fresh, "Invalid old password"},
      {"oldpass=481" + fresh, "Invalid old password"},
      {"oldpass=" + fresh, "Invalid old password"},
      {"oldpass=" + kPass + "&newpass1=" + std::string(257, 'p') +
           "&newpass2=" + std::string(257, 'p'),
       "New password is too long: at most 256 bytes as the form sends it."},
      // The rules of a new password come before the current password.
      {"oldpass=481&newpass1=short7x&newpass2=short7x",
       "New password must have at least 8 characters."},
      // Seven characters in eleven bytes.
      {"oldpass=" + kPass +
           "&newpass1=%C3%A4%C3%B6%C3%BC%C3%9F-tv&newpass2=%C3%A4%C3%B6%C3%BC%C3%9F-tv",
       "New password must have at least 8 characters."},
      {"oldpass=481&newpass1=PassWord1&newpass2=PassWord1",
       "New password is one of the most common passwords: choose one that is harder to guess."},
      {"oldpass=x&newpass1=LivingRoom&newpass2=LivingRoom",
       "New password must not be the user name.", "1-1-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    CgiRequest change = request(c.query);
    change.cookie = "quibsession=" + (c.session.empty() ? id : c.session);
    CgiResponse response = run(change);
    EXPECT_EQ(response.exitStatus, 0);
    ProbePage page = probePage(response);
    EXPECT_EQ(page.page, "CHPASS");
    EXPECT_EQ(page.msg, c.message);
    EXPECT_EQ(page.box, "alert");
    EXPECT_TRUE(page.backToTimers);
    EXPECT_EQ(storedPass(), before);
  }
  TestDb db(authDb);
  EXPECT_EQ(db.scalar("select passchange_time from users where login = 'admin'"), "");
}

TEST_F(SignInGate, PasswordChangeSucceedsAndNewPasswordSignsIn) {
  std::string elsewhere = signIn("&sticky=on");
  std::string id = signIn();
  CgiRequest change = request("oldpass=" + kPass + "&newpass1=s3cret-tv&newpass2=s3cret-tv");
  change.cookie = "quibsession=" + id;
  CgiResponse response = run(change);
  EXPECT_EQ(probePage(response).page, "LIST");
  EXPECT_EQ(probePage(response).msg, "Password changed");
  EXPECT_EQ(storedPass(), hashPassword("admin", "s3cret-tv").value());
  {
    TestDb db(authDb);
    EXPECT_NE(db.scalar("select passchange_time from users where login = 'admin'"), "");
  }
  // The user's other sessions end with the old password.
  EXPECT_TRUE(sessionExists(id));
  EXPECT_FALSE(sessionExists(elsewhere));

  EXPECT_EQ(probePage(run(request(kSignIn))).msg, "Invalid login.");
  EXPECT_EQ(probePage(run(request("login=admin&pass=s3cret-tv"))).page, "LIST");
}

TEST_F(SignInGate, ChangeWithChpassStaysOnPasswordPage) {
  std::string id = signIn();
  CgiRequest change = request("oldpass=" + kPass + "&newpass1=x-ray-tv&newpass2=x-ray-tv&chpass");
  change.cookie = "quibsession=" + id;
  ProbePage page = probePage(run(change));
  EXPECT_EQ(page.page, "CHPASS");
  EXPECT_EQ(page.msg, "Password changed");
  EXPECT_TRUE(page.box == "status" && page.backToTimers);
  EXPECT_EQ(storedPass(), hashPassword("admin", "x-ray-tv").value());
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

TEST_F(SignInGate, SignInAndChangeInOneRequestUseTheVerifiedName) {
  std::string elsewhere = signIn();
  // Replacing the initial password in the sign-in itself goes straight on.
  useInitialPassword();
  CgiResponse response =
      run(request("login=admin&pass=482&oldpass=482&newpass1=n3w-pass&newpass2=n3w-pass&"
                  "delete=Delete&key=4"));
  EXPECT_EQ(response.exitStatus, 0);
  EXPECT_EQ(probePage(response).page, "LIST");
  EXPECT_FALSE(timerExists());
  EXPECT_EQ(probePage(response).msg, "Password changed");
  EXPECT_EQ(storedPass(), hashPassword("admin", "n3w-pass").value());
  EXPECT_TRUE(sessionExists(newSessionId(response)));
  EXPECT_FALSE(sessionExists(elsewhere));

  CgiResponse mismatch =
      run(request("login=admin&pass=n3w-pass&oldpass=n3w-pass&newpass1=a&newpass2=b"));
  EXPECT_EQ(mismatch.exitStatus, 0);
  EXPECT_EQ(probePage(mismatch).page, "CHPASS");
  EXPECT_EQ(probePage(mismatch).msg, "Password mismatch");
  EXPECT_EQ(storedPass(), hashPassword("admin", "n3w-pass").value());
}

TEST_F(SignInGate, MissingPageTemplateGivesHeaderOnly) {
  std::remove(dir.file("login.shtml").c_str());
  CgiResponse response = run(request("logout"));
  EXPECT_EQ(response.exitStatus, 0);
  const std::vector<std::string> cookies = setCookieLines(response, true);
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_EQ(response.output, cookies[0] + "\nContent-Language: en\n" + kPageHeaderEnd + "\n");
}

TEST_F(SignInGate, ShippedPagesCarryTheFormsAndTheMessage) {
  copyShippedTemplates(dir.path());
  CgiResponse login = run(request("login=admin&pass=bad"));
  EXPECT_EQ(login.exitStatus, 0);
  for (const char* needle :
       {"<!DOCTYPE html>", "<meta charset=\"utf-8\">", "name=\"viewport\"", "action=\"skedra.cgi\"",
        "method=\"post\"", "name=\"login\"", "type=\"password\" id=\"pass\" name=\"pass\"",
        "type=\"checkbox\" id=\"sticky\" name=\"sticky\" value=\"on\"", "Keep me signed in",
        "id=\"msg-error\" role=\"alert\">Invalid login.<", "href=\"../skedra.css\"",
        "name=\"pass\" autocomplete=\"current-password\" aria-invalid=\"true\""}) {
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

  // A refusal in its box, the field it concerns marked and described by it.
  CgiRequest tooShort = request("oldpass=x&newpass1=short7x&newpass2=short7x");
  tooShort.cookie = "quibsession=a-b-c";
  const std::string refused = run(tooShort).body;
  EXPECT_NE(refused.find("id=\"newpass1\" name=\"newpass1\" autocomplete=\"new-password\" "
                         "aria-invalid=\"true\" aria-describedby=\"msg-error\">"),
            std::string::npos);
}

TEST_F(SignInGate, InitialPasswordMustBeReplacedBeforeAnythingElse) {
  const std::string choose = "Choose a new password to finish signing in.";
  useInitialPassword();
  CgiResponse first = run(request("login=admin&pass=482&delete=Delete&key=4"));
  EXPECT_EQ(first.exitStatus, 0);
  EXPECT_EQ(probePage(first).page, "CHPASS");
  EXPECT_EQ(probePage(first).msg, choose);
  std::string id = newSessionId(first);
  EXPECT_TRUE(sessionExists(id));

  // Whatever the session asks for, it gets the password page; a failed
  // change says why.
  struct Case {
    std::string query;
    std::string message;
  };
  const Case cases[] = {
      {"", choose},
      {"delete=Delete&key=4", choose},
      {"chpass", choose},
      {"quibsession=" + id + "&disable=Disable&key=4", choose},
      {"oldpass=482&newpass1=a&newpass2=b", "Password mismatch"},
      {"oldpass=481&newpass1=tv-2030x&newpass2=tv-2030x", "Invalid old password"},
      {"oldpass=482&newpass1=482&newpass2=482", "New password must not be the initial password."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    CgiRequest next = request(c.query);
    if (c.query.rfind("quibsession=", 0) != 0) next.cookie = "quibsession=" + id;
    ProbePage page = probePage(run(next));
    EXPECT_EQ(page.page, "CHPASS");
    EXPECT_EQ(page.msg, c.message);
    // The list would show this page again: no way back to it.
    EXPECT_FALSE(page.backToTimers);
  }
  EXPECT_TRUE(timerExists());
  EXPECT_EQ(storedPass(), hashPassword("admin", "482").value());

  // Another user is not held up, and sign-out still works.
  addSession(authDb, "0-t-h", "guest", false);
  CgiRequest guest = request("");
  guest.cookie = "quibsession=0-t-h";
  EXPECT_EQ(probePage(run(guest)).page, "LIST");
  CgiRequest logout = request("logout");
  logout.cookie = "quibsession=" + id;
  EXPECT_EQ(probePage(run(logout)).msg, "Logged out.");
  EXPECT_FALSE(sessionExists(id));

  // Once changed, the session goes on.
  id = newSessionId(run(request("login=admin&pass=482")));
  CgiRequest change = request("oldpass=482&newpass1=n3w-pass&newpass2=n3w-pass");
  change.cookie = "quibsession=" + id;
  EXPECT_EQ(probePage(run(change)).msg, "Password changed");
  CgiRequest act = request("delete=Delete&key=4");
  act.cookie = "quibsession=" + id;
  EXPECT_EQ(probePage(run(act)).page, "LIST");
  EXPECT_FALSE(timerExists());
}

// Right after a sign-in with the initial password the page does not ask for
// it again: the sign-in's answer carries a proof that counts for a minute and
// for its own session only; a cookie alone does not give it.
TEST_F(SignInGate, ForcedChangeRightAfterSignInSkipsTheCurrentPassword) {
  // Seconds since the sign-in, the proof brought ("own", "other" session's, none).
  const std::tuple<int, std::string, std::string> rows[] = {{0, "own", "Password changed"},
                                                            {61, "own", "Invalid old password"},
                                                            {0, "", "Invalid old password"},
                                                            {0, "other", "Invalid old password"}};
  for (const auto& [age, proof, message] : rows) {
    SCOPED_TRACE(std::to_string(age) + " s, proof " + proof);
    useInitialPassword();
    const std::string otherProof = probePage(run(request("login=admin&pass=482"))).signInProof;
    CgiResponse signedIn = run(request("login=admin&pass=482"));
    EXPECT_FALSE(probePage(signedIn).asksOldPassword);
    const std::string id = newSessionId(signedIn);
    TestDb(authDb).exec("update sessions set created_time = created_time - " + std::to_string(age) +
                        " where id = '" + id + "'");
    const std::string brought = proof == "own"  ? probePage(signedIn).signInProof
                                : proof.empty() ? ""
                                                : otherProof;
    CgiRequest change = request("newpass1=tv-2030x&newpass2=tv-2030x&signinproof=" + brought);
    change.cookie = "quibsession=" + id;
    ProbePage page = probePage(run(change));
    EXPECT_EQ(page.msg, message);
    EXPECT_EQ(page.page == "CHPASS", page.asksOldPassword);
  }
}

TEST_F(SignInGate, CrossSiteRequestsNeitherSignInNorAct) {
  using Headers = std::vector<std::pair<std::string, std::string>>;
  const std::string host = "HTTP_HOST", origin = "HTTP_ORIGIN", referer = "HTTP_REFERER",
                    site = "HTTP_SEC_FETCH_SITE";
  struct Case {
    Headers headers;
    bool crossSite;
  };
  const Case cases[] = {
      {{}, false},
      {{{site, "cross-site"}}, true},
      {{{site, "same-origin"}}, false},
      // A page on another port or a sibling host of the same site.
      {{{site, "same-site"}}, true},
      {{{site, "none"}}, false},
      {{{host, "192.168.1.5:8080"}, {origin, "http://192.168.1.5:8080"}}, false},
      {{{host, "192.168.1.5:8080"}, {origin, "http://192.168.1.5"}}, true},
      {{{host, "192.168.1.5:8080"}, {origin, "http://192.168.1.50:8080"}}, true},
      {{{host, "192.168.1.5"}, {origin, "http://evil.example"}}, true},
      {{{host, "Recorder.Lan"}, {origin, "http://recorder.LAN:80"}}, false},
      {{{host, "recorder.lan:443"}, {origin, "https://recorder.lan"}}, false},
      {{{host, "recorder.lan"}, {origin, "http://recorder.lan.evil.example"}}, true},
      {{{host, "recorder.lan"}, {origin, "null"}}, true},
      {{{host, "recorder.lan"}, {origin, "http://evil.lan"}, {site, "same-origin"}}, true},
      {{{host, "recorder.lan:8080"}, {origin, "http://recorder.lan:8081"}}, true},
      {{{host, "recorder.lan"}, {referer, "http://recorder.lan:81/attack.html"}}, true},
      {{{host, "[fe80::1]:8080"}, {origin, "http://[FE80::1]:8080"}}, false},
      {{{host, "[fe80::1]:8080"}, {origin, "http://[fe80::2]:8080"}}, true},
      {{{origin, "http://recorder.lan"}}, true},
      {{{host, "recorder.lan"}, {origin, "recorder.lan"}}, true},
      {{{host, "recorder.lan"}, {referer, "http://recorder.lan/cgi-bin/skedra.cgi?edit"}}, false},
      {{{host, "recorder.lan"}, {referer, "http://evil.example/recorder.lan"}}, true},
      {{{host, "recorder.lan"}, {referer, "http://recorder.lan@evil.example/"}}, true},
      {{{host, "recorder.lan"}, {origin, "null"}, {referer, "http://evil.example/"}}, true},
      {{{host, "recorder.lan"}, {origin, "http://recorder.lan"}, {site, "cross-site"}}, true},
  };
  addSession(authDb, "c-0-0", "admin", false);
  const std::string change = "oldpass=" + kPass + "&newpass1=" + kPass + "&newpass2=" + kPass;
  for (const Case& c : cases) {
    std::string trace;
    for (const auto& [name, value] : c.headers) trace += name + "=" + value + " ";
    SCOPED_TRACE(trace);
    insertTimer();
    // Neither the sign-in nor its action: the sign-in page as for a plain request.
    CgiRequest signIn = request(kSignIn + "&delete=Delete&key=4");
    signIn.env = c.headers;
    CgiResponse signedIn = run(signIn);
    EXPECT_EQ(probePage(signedIn).page, c.crossSite ? "LOGIN" : "LIST");
    EXPECT_EQ(probePage(signedIn).msg, "");
    EXPECT_EQ(newSessionId(signedIn).empty(), c.crossSite);
    EXPECT_EQ(timerExists(), c.crossSite);

    // Neither a signed-in user's password change nor the action.
    insertTimer();
    CgiRequest act = request(change + "&delete=Delete&key=4");
    act.cookie = "quibsession=c-0-0";
    act.env = c.headers;
    ProbePage page = probePage(run(act));
    EXPECT_EQ(page.page, "LIST");
    EXPECT_EQ(page.msg, c.crossSite ? "" : "Password changed");
    EXPECT_EQ(timerExists(), c.crossSite);
  }

  // No other action either: the list as it is.
  insertTimer();
  for (const char* query :
       {"clone=Clone&key=4", "enable=Enable&key=4", "edit=Edit&key=4", "reinit", "logout", "chpass",
        "update=Update&key=4&title=X&savedef=on&prepad=5",
        "create=Create&channel=7&year=2031&month=1&day=1&hh=20&mm=0&hours=1&mins=0&savedef=on&"
        "prepad=5&title=Y"}) {
    SCOPED_TRACE(query);
    CgiRequest act = request(query);
    act.cookie = "quibsession=c-0-0";
    act.env = {{site, "cross-site"}};
    CgiResponse response = run(act);
    EXPECT_EQ(response.exitStatus, 0);
    EXPECT_EQ(probePage(response).page, "LIST");
    EXPECT_EQ(probePage(response).buttonVal, "Create");
  }
  TestDb timers(timerDb);
  EXPECT_EQ(timers.rows("select ID, user_string from timer_record_table"),
            std::vector<std::string>{"4|News"});
  EXPECT_EQ(timers.integer("select count(*) from sqlite_master where name = 'settings'"), 0);
  EXPECT_TRUE(sessionExists("c-0-0"));
}

// A page view within a minute of the session's stored use writes nothing to
// either database; an action commits each database once (the account
// database's form token, access time and purges together). Counted from the
// real program's system calls: each commit creates a journal.
// The language a response's header names, and its Set-Cookie line of the
// language cookie ("" for none).
std::string contentLanguage(const CgiResponse& response) {
  const std::string name = "Content-Language: ";
  const size_t at = response.header.find(name);
  if (at == std::string::npos) return "";
  const size_t start = at + name.size();
  return response.header.substr(start, response.header.find('\n', start) - start);
}
std::string languageCookie(const CgiResponse& response) {
  for (const std::string& line : setCookieLines(response)) {
    if (line.rfind("Set-Cookie: skedralang=", 0) == 0) return line;
  }
  return "";
}

TEST_F(SignInGate, PageSpeaksTheCookiesLanguageElseTheBrowsers) {
  copyShippedTemplates(dir.path());
  std::string tooMany;
  for (int i = 0; i < 16; ++i) tooMany += "es, ";
  const std::tuple<std::string, std::string, std::string> rows[] = {
      {"fr;q=0.5, de-AT;q=0.9", "", "de"},
      {"de;q=0, pl", "", "pl"},
      {"es-ES, *;q=0.1", "", "en"},
      {"", "", "en"},
      {std::string(600, 'x') + ", de", "", "en"},
      {tooMany + "de", "", "en"},
      {"de", "skedralang=fr", "fr"},
      {"de", "skedralang=xx", "de"},
  };
  for (const auto& [accept, cookie, expected] : rows) {
    SCOPED_TRACE(accept + " | " + cookie);
    CgiRequest view = request("");
    view.env = {{"HTTP_ACCEPT_LANGUAGE", accept}};
    if (!cookie.empty()) view.cookie = cookie;
    const CgiResponse page = run(view);
    EXPECT_EQ(page.exitStatus, 0);
    EXPECT_EQ(contentLanguage(page), expected);
    EXPECT_NE(page.body.find("<html lang=\"" + expected + "\">"), std::string::npos);
  }
}

TEST_F(SignInGate, LanguageChoiceIsKeptWithTheAccountAndInTheCookie) {
  const std::string languages = "select count(*) from sqlite_master where name = 'languages'";
  const std::string stored = "select group_concat(login || '=' || tag) from languages";
  auto view = [this](const std::string& query, const std::string& cookie) {
    CgiRequest view = request(query);
    view.env = {{"HTTP_ACCEPT_LANGUAGE", "pl"}};
    view.cookie = cookie;
    return view;
  };
  // The sign-in page's form: the cookie alone keeps the choice.
  CgiResponse signInPage = run(view("setlanguage=1&language=FR", "skedralang=de"));
  EXPECT_EQ(contentLanguage(signInPage), "fr");
  EXPECT_EQ(languageCookie(signInPage),
            "Set-Cookie: skedralang=fr; SameSite=Lax; Max-Age=31536000");
  EXPECT_EQ(TestDb(authDb).integer(languages), 0);

  addSession(authDb, "a-b-c", "admin", false);
  const std::string session = "quibsession=a-b-c; skedralang=fr";
  CgiResponse chosen = run(view("setlanguage=1&language=de", session));
  EXPECT_EQ(contentLanguage(chosen), "de");
  EXPECT_EQ(languageCookie(chosen), "Set-Cookie: skedralang=de; SameSite=Lax; Max-Age=31536000");
  EXPECT_EQ(TestDb(authDb).scalar(stored), "admin=de");
  // The account's choice beats the cookie; a form without its token, or sent
  // from another site, changes nothing.
  EXPECT_EQ(contentLanguage(run(view("", session))), "de");
  CgiResponse forged = run(view("setlanguage=1&language=fr&formtoken=0", session));
  CgiRequest crossSite = view("setlanguage=1&language=fr", session);
  crossSite.env.push_back({"HTTP_SEC_FETCH_SITE", "cross-site"});
  for (const CgiResponse& refused : {forged, run(crossSite)}) {
    EXPECT_EQ(contentLanguage(refused), "de");
    EXPECT_EQ(languageCookie(refused), "");
  }
  EXPECT_EQ(TestDb(authDb).scalar(stored), "admin=de");
  // Automatic clears both: the browser's language follows.
  CgiResponse automatic = run(view("setlanguage=1&language=", session));
  EXPECT_EQ(contentLanguage(automatic), "pl");
  EXPECT_EQ(languageCookie(automatic).rfind("Set-Cookie: skedralang=0; expires=Thu, 1-Jan-1970", 0),
            0u);
  EXPECT_EQ(TestDb(authDb).scalar(stored), "");
  // A stored tag that names no language is passed over.
  TestDb(authDb).exec("insert into languages values ('admin', 'xx')");
  EXPECT_EQ(contentLanguage(run(view("", session))), "fr");
}

TEST_F(SignInGate, PageViewsLeaveTheFlashAloneAndActionsCommitOnce) {
  const std::string strace = "/usr/bin/strace";
  if (std::system((strace + " -qq -o /dev/null /bin/true 2>/dev/null").c_str()) != 0) {
    const char* ci = std::getenv("CI");
    if (ci && std::string(ci) == "true") FAIL() << "strace cannot run";
    GTEST_SKIP() << "strace is not installed or may not trace here";
  }
  runFromPage(request(kSignIn + "&disable=Disable&key=9"));  // the tables of first use
  const std::string create =
      "create=Create&channel=7&year=2031&month=1&day=1&hh=20&mm=0&hours=1&mins=0";
  // Query, seconds since the session's stored use (-1: no session), commits
  // of the timer and of the account database.
  const std::tuple<std::string, int, size_t, size_t> rows[] = {
      {"", 30, 0, 0},     {"edit=Edit&key=4", 50, 0, 0},
      {"", 61, 0, 1},     {create, 30, 1, 1},
      {create, 61, 1, 1}, {"disable=Disable&key=4", 30, 1, 1},
      {kSignIn, -1, 0, 1}};
  int n = 0;
  for (const auto& [query, idle, timerCommits, accountCommits] : rows) {
    SCOPED_TRACE(query + " after " + std::to_string(idle) + " s");
    const std::string id = "7-7-" + std::to_string(++n), trace = dir.file("trace-" + id);
    CgiRequest view = request(query);
    if (idle >= 0) {
      // The form's token is drawn first, from a page of the session, whose
      // use is then set back to the row's age.
      addSession(authDb, id, "admin", false, 0);
      view.cookie = "quibsession=" + id;
      if (timerCommits > 0) addPageToken(view);
      TestDb(authDb).exec("update sessions set access_time = strftime('%s', 'now') - " +
                          std::to_string(idle) + " where id = '" + id + "'");
    }
    view.prefix = {strace, "-f", "-qq", "-o", trace, "-e", "trace=openat,fsync,fdatasync"};
    EXPECT_EQ(probePage(run(view)).page, "LIST");
    const std::string calls = readFile(trace);
    auto count = [&calls](const std::string& what) {
      size_t found = 0;
      for (size_t at = calls.find(what); at != std::string::npos; at = calls.find(what, at + 1)) {
        ++found;
      }
      return found;
    };
    EXPECT_EQ(count("timers.db-journal\", O_RDWR|O_CREAT"), timerCommits);
    EXPECT_EQ(count("quibauth.db-journal\", O_RDWR|O_CREAT"), accountCommits);
    if (timerCommits + accountCommits == 0) {
      EXPECT_EQ(count("fsync(") + count("fdatasync("), 0u);
    }
  }
}

}  // namespace
