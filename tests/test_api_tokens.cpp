// The tokens of the JSON interface and of the calendar feed against a real
// temporary account database.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "quib/quib.h"
#include "support/test_env.h"

namespace {

class ApiTokens : public testing::Test {
 protected:
  void SetUp() override {
    setenv("quibauth", dbPath.c_str(), 1);
    setenv("REMOTE_ADDR", "192.168.1.20", 1);
    // The account database with the initial account, as a first sign-in
    // leaves it.
    ASSERT_EQ(quibVerifyUserPass("admin", "482"), kQuibSignInValid);
  }
  void TearDown() override {
    quibClose();
    unsetenv("REMOTE_ADDR");
  }

  // The database file as it stands, with the connection's writes done.
  std::string fileNow() {
    quibClose();
    return readFile(dbPath);
  }

  TempDir dir;
  std::string dbPath = dir.file("auth.db");
};

TEST_F(ApiTokens, ChecksRevocationAndThrottling) {
  const std::string reader = quibCreateApiToken("admin", "phone", ApiScope::kRead);
  const std::string writer = quibCreateApiToken("admin", "laptop", ApiScope::kWrite);
  const std::string oldFeed = quibRotateFeedToken("admin");
  const std::string feed = quibRotateFeedToken("admin");
  const std::string other = quibCreateApiToken("other", "tablet", ApiScope::kRead);
  EXPECT_EQ(reader.rfind("skd_", 0), 0u);
  EXPECT_EQ(reader.size(), 36u);
  EXPECT_NE(reader, writer);
  // Only digests are stored.
  for (const std::string& row : TestDb(dbPath).rows("select * from apitokens")) {
    EXPECT_EQ(row.find(reader.substr(4)), std::string::npos) << row;
  }

  struct Case {
    std::string token;
    bool asFeed;
    ApiTokenCheck expected;
    ApiScope scope;
    const char* login;
  };
  // At most four wrong tokens: the fifth failure locks the address out.
  const Case cases[] = {
      {reader, false, ApiTokenCheck::kValid, ApiScope::kRead, "admin"},
      {writer, false, ApiTokenCheck::kValid, ApiScope::kWrite, "admin"},
      {feed, true, ApiTokenCheck::kValid, ApiScope::kFeed, "admin"},
      {other, false, ApiTokenCheck::kValid, ApiScope::kRead, "other"},
      // A feed token is no token of the interface, and the other way round.
      {feed, false, ApiTokenCheck::kInvalid, ApiScope::kRead, ""},
      {reader, true, ApiTokenCheck::kInvalid, ApiScope::kRead, ""},
      // The feed's address before it was replaced.
      {oldFeed, true, ApiTokenCheck::kInvalid, ApiScope::kRead, ""},
      {"skd_" + std::string(32, '0'), false, ApiTokenCheck::kInvalid, ApiScope::kRead, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token + (c.asFeed ? " as feed" : " as token"));
    const std::string before = fileNow();
    ApiTokenUse use;
    const ApiTokenCheck check =
        c.asFeed ? quibCheckFeedToken(c.token, &use) : quibCheckApiToken(c.token, &use);
    EXPECT_EQ(check, c.expected);
    // A valid token writes nothing; a wrong one is counted.
    EXPECT_EQ(fileNow() == before, c.expected == ApiTokenCheck::kValid);
    if (c.expected == ApiTokenCheck::kValid) {
      EXPECT_EQ(use.login, c.login);
      EXPECT_EQ(use.scope, c.scope);
    }
  }
  EXPECT_EQ(TestDb(dbPath).integer("select failures from signinfailures where login = "
                                   "char(1) || 'api' and address = '192.168.1.20'"),
            4);

  // Used tokens show when; a new one has not been used.
  quibCreateApiToken("admin", "unused", ApiScope::kRead);
  const std::vector<ApiTokenInfo> listed = quibListApiTokens("admin");
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[0].name, "phone");
  EXPECT_EQ(listed[1].scope, ApiScope::kWrite);
  EXPECT_EQ(listed[2].scope, ApiScope::kFeed);
  EXPECT_TRUE(listed[0].lastUsed.has_value());
  EXPECT_TRUE(listed[2].lastUsed.has_value());
  EXPECT_FALSE(listed[3].lastUsed.has_value());

  // Revoked by its own account only, once.
  EXPECT_FALSE(quibRevokeApiToken("other", listed[0].id));
  EXPECT_TRUE(quibRevokeApiToken("admin", listed[0].id));
  EXPECT_FALSE(quibRevokeApiToken("admin", listed[0].id));
  EXPECT_EQ(quibCheckApiToken(reader, nullptr), ApiTokenCheck::kInvalid);

  // The fifth wrong token locked the address out: even a valid token waits,
  // and the refusal counts as a failure too (the wait doubles).
  EXPECT_EQ(quibCheckApiToken(writer, nullptr), ApiTokenCheck::kLocked);
  const int32_t wait = quibApiTokenRetryAfter();
  EXPECT_GT(wait, 15);
  EXPECT_LE(wait, 30);
  // Another address is not held up.
  setenv("REMOTE_ADDR", "192.168.1.21", 1);
  EXPECT_EQ(quibCheckApiToken(writer, nullptr), ApiTokenCheck::kValid);

  // A password change revokes every token of the account, the feed's too.
  ASSERT_EQ(quibChangePass("admin", "482", "tv-04821-new"), 1);
  EXPECT_TRUE(quibListApiTokens("admin").empty());
  EXPECT_EQ(quibCheckFeedToken(feed, nullptr), ApiTokenCheck::kInvalid);
  EXPECT_EQ(quibListApiTokens("other").size(), 1u);
}

TEST_F(ApiTokens, OlderDatabaseGainsTheTable) {
  quibClose();
  TestDb(dbPath).exec("drop table apitokens");
  EXPECT_TRUE(quibListApiTokens("admin").empty());
  EXPECT_EQ(quibCheckApiToken("skd_" + std::string(32, 'a'), nullptr), ApiTokenCheck::kInvalid);
  quibRevokeAllApiTokens("admin");
  const std::string token = quibCreateApiToken("admin", "phone", ApiScope::kRead);
  EXPECT_EQ(quibCheckApiToken(token, nullptr), ApiTokenCheck::kValid);
}

}  // namespace
