// The tokens page through the real program: a token made through its form
// is shown once, then listed without its text, then revoked; a request that
// another site started makes none.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/cgi_accounts.h"
#include "support/cgi_harness.h"
#include "support/test_env.h"

namespace {

class TokensPage : public ::testing::Test {
 protected:
  void SetUp() override {
    copyShippedTemplates(dir.path());
    createAccountDb(authDb);
    createFirmwareSchema(timerDb);
    addSession(authDb, "a-b-c", "admin", false);
  }

  // A POST of the signed-in browser, with the page's form token.
  CgiResponse post(const std::string& body, bool crossSite = false) const {
    CgiRequest request;
    request.method = "POST";
    request.body = body;
    request.workDir = dir.path();
    request.timerDb = timerDb;
    request.cookie = "quibsession=a-b-c";
    request.env = {{"HTTP_HOST", "recorder.lan"}, {"SCRIPT_NAME", "/cgi-bin/skedra.cgi"}};
    if (crossSite) request.env.emplace_back("HTTP_SEC_FETCH_SITE", "cross-site");
    addPageToken(request);
    CgiResponse response = runCgi(request);
    EXPECT_EQ(response.exitStatus, 0) << response.output;
    EXPECT_EQ(response.errors, "");
    return response;
  }

  // The tokens stored; none while the table has not been made.
  // The token that the page's read-only input shows after prefix ("skd_"
  // and 32 hexadecimal digits), or "" when it shows none.
  static std::string shownToken(const std::string& page, const std::string& prefix = "") {
    const std::string field = "id=\"new-token\" value=\"" + prefix;
    const size_t at = page.find(field);
    if (at == std::string::npos) return "";
    const size_t start = at + field.size();
    const std::string token = page.substr(start, page.find('"', start) - start);
    const bool hex = token.size() == 36 && token.rfind("skd_", 0) == 0 &&
                     token.find_first_not_of("0123456789abcdef", 4) == std::string::npos;
    return hex && page.compare(start + 36, 10, "\" readonly") == 0 ? token : "";
  }

  long long tokenCount() const {
    TestDb db(authDb);
    if (db.integer("select count(*) from sqlite_master where name = 'apitokens'") == 0) return 0;
    return db.integer("select count(*) from apitokens");
  }

  TempDir dir;
  std::string timerDb = dir.file("timers.db");
  std::string authDb = dir.file("quibauth.db");
};

TEST_F(TokensPage, MadeTokenIsShownOnceListedThenRevoked) {
  const std::string made = post("newtoken=1&tokenname=Home+%3Cbox%3E&tokenscope=write").body;
  const std::string token = shownToken(made);
  ASSERT_NE(token, "") << made;
  for (const char* needle :
       {"role=\"status\">Made the token \"Home &lt;box&gt;\".<",
        "Copy it now: it is not shown again.", "<th scope=\"row\">Home &lt;box&gt;</th>",
        "read and write", "not used since the recorder started"}) {
    EXPECT_NE(made.find(needle), std::string::npos) << needle;
  }
  EXPECT_EQ(tokenCount(), 1);

  const std::string listed = post("tokens").body;
  EXPECT_NE(listed.find("<th scope=\"row\">Home &lt;box&gt;</th>"), std::string::npos);
  EXPECT_EQ(listed.find(token), std::string::npos);
  EXPECT_EQ(listed.find("<!--%quib"), std::string::npos);

  const std::string id = TestDb(authDb).scalar("select id from apitokens");
  const std::string revoked = post("revoketoken=1&tokenid=" + id).body;
  EXPECT_NE(revoked.find("Revoked the token \"Home &lt;box&gt;\": it no longer works."),
            std::string::npos);
  EXPECT_EQ(revoked.find("<th scope=\"row\">"), std::string::npos);
  EXPECT_EQ(tokenCount(), 0);

  // The feed's address is the program's own, with the new token.
  const std::string feed = post("rotatefeed=1").body;
  EXPECT_NE(shownToken(feed, "http://recorder.lan/cgi-bin/skedra.cgi/api/v1/recordings.ics?feed="),
            "")
      << feed;
  EXPECT_NE(feed.find("Replace the feed address"), std::string::npos);
}

TEST_F(TokensPage, RefusedRequestsMakeNoToken) {
  const std::pair<std::string, bool> cases[] = {
      {"newtoken=1&tokenname=x&tokenscope=read", true},
      {"newtoken=1&tokenname=&tokenscope=read", false},
      {"newtoken=1&tokenname=" + std::string(65, 'x') + "&tokenscope=read", false},
      {"newtoken=1&tokenname=x&tokenscope=admin", false},
  };
  for (const auto& [body, crossSite] : cases) {
    SCOPED_TRACE(body);
    const std::string page = post(body, crossSite).body;
    EXPECT_NE(page.find("role=\"alert\" tabindex=\"-1\" autofocus>"), std::string::npos) << page;
    EXPECT_EQ(page.find("id=\"new-token\""), std::string::npos);
  }
  EXPECT_EQ(tokenCount(), 0);
}

}  // namespace
