// Response header and cookies: the queued Set-Cookie lines, the header texts,
// persistent cookie dates and reading the browser's cookies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

#include "quib/quib.h"
#include "support/test_env.h"

namespace {

const std::string kContentType = std::string(kPageHeaderEnd) + "\n";

// Everything that action writes to standard output.
std::string captureStdout(const std::function<void()>& action) {
  TempDir dir;
  const std::string path = dir.file("stdout");
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (saved < 0 || file < 0) return "<capture failed>";
  dup2(file, STDOUT_FILENO);
  close(file);
  action();
  quibSendResponse();
  dup2(saved, STDOUT_FILENO);
  close(saved);
  return readFile(path);
}

std::string header() {
  return captureStdout(quibPrintHttpHeader);
}

// The cookie queue is process-wide: every test starts with it empty.
class Cookies : public ::testing::Test {
 protected:
  void SetUp() override { header(); }
  void TearDown() override {
    unsetenv("HTTP_COOKIE");
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

// 8 June 2027 08:05:03 UTC.
constexpr int64_t kJune2027 = 1812441903;

}  // namespace

TEST_F(Cookies, HeaderWithoutCookiesIsTheContentTypeAndAnEmptyLine) {
  EXPECT_EQ(header(), kContentType);
}

TEST_F(Cookies, QueuedCookiesPrecedeTheContentTypeInQueueingOrder) {
  quibSetCookie("quibsession=0123456789abcdef");
  quibRemoveCookie("quibsession");
  quibSetCookie("other=1; path=/");
  EXPECT_EQ(header(),
            "Set-Cookie: quibsession=0123456789abcdef\n"
            "Set-Cookie: quibsession=0; expires=Thu, 1-Jan-1970 00:00:00 GMT\n"
            "Set-Cookie: other=1; path=/\n" +
                std::string(kContentType));
}

TEST_F(Cookies, EachHeaderEmptiesTheQueue) {
  quibSetCookie("a=1");
  EXPECT_EQ(header(), "Set-Cookie: a=1\n" + std::string(kContentType));
  EXPECT_EQ(header(), kContentType);
  quibSetCookie("b=2");
  EXPECT_EQ(captureStdout([] { quibForward("/skedra?list=1"); }),
            "Set-Cookie: b=2\nLocation: /skedra?list=1\n\n");
  EXPECT_EQ(captureStdout([] { quibForward("/"); }), "Location: /\n\n");
}

TEST_F(Cookies, CookieTextIsWrittenVerbatim) {
  quibSetCookie("x=100%25%s%n%d");
  quibRemoveCookie("%s");
  EXPECT_EQ(header(),
            "Set-Cookie: x=100%25%s%n%d\n"
            "Set-Cookie: %s=0; expires=Thu, 1-Jan-1970 00:00:00 GMT\n" +
                std::string(kContentType));
}

TEST_F(Cookies, PersistentCookieDateIsUtcWhateverTheZone) {
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  EXPECT_EQ(quibPersistentCookieLine("x=1", kJune2027 + 3600),
            "Set-Cookie: x=1; expires=Tue, 8-Jun-2027 09:05:03 GMT\n");
  EXPECT_EQ(quibPersistentCookieLine("x=1", 1835481599),
            "Set-Cookie: x=1; expires=Tue, 29-Feb-2028 23:59:59 GMT\n");
  EXPECT_EQ(quibPersistentCookieLine("s=a%b; path=/", 1798761600),
            "Set-Cookie: s=a%b; path=/; expires=Fri, 1-Jan-2027 00:00:00 GMT\n");
  EXPECT_EQ(quibPersistentCookieLine("x=1", 0),
            "Set-Cookie: x=1; expires=Thu, 1-Jan-1970 00:00:00 GMT\n");
}

TEST_F(Cookies, PersistentCookieBeyond2038) {
  const std::string line = quibPersistentCookieLine("x=1", 2214216000);
  if (sizeof(std::time_t) >= 8) {
    EXPECT_EQ(line, "Set-Cookie: x=1; expires=Thu, 1-Mar-2040 12:00:00 GMT\n");
  } else {
    // A 32-bit clock cannot name the date: the last one it can is used.
    EXPECT_EQ(line, "Set-Cookie: x=1; expires=Tue, 19-Jan-2038 03:14:07 GMT\n");
  }
}

TEST_F(Cookies, PersistentCookieIsQueuedForNowPlusTheSeconds) {
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  const int32_t seconds = 15811200;  // 183 days
  const int64_t before = std::time(nullptr);
  quibSetCookie("first=1");
  quibSetPersistentCookie("quibsession=abc", seconds);
  const int64_t after = std::time(nullptr);
  const std::string written = header();

  bool matched = false;
  for (int64_t now = before; now <= after; ++now) {
    matched |= written == "Set-Cookie: first=1\n" +
                              quibPersistentCookieLine("quibsession=abc", now + seconds) +
                              kContentType;
  }
  EXPECT_TRUE(matched) << written;
}

TEST_F(Cookies, SessionCookieIsFoundAmongOthers) {
  setenv("HTTP_COOKIE", "theme=dark; quibsession=0123abcd", 1);
  EXPECT_EQ(quibGetSessionCookie(), std::optional<std::string>("0123abcd"));
  EXPECT_EQ(quibGetCookie("theme"), std::optional<std::string>("dark"));
  EXPECT_EQ(quibGetCookie("Theme"), std::nullopt);
  EXPECT_EQ(quibGetCookie("them"), std::nullopt);
  EXPECT_EQ(quibGetCookie("quibsession=0123abcd"), std::nullopt);
}

TEST_F(Cookies, PiecesWithoutAValueDoNotCount) {
  setenv("HTTP_COOKIE", "quibsession;quibsession=; quibsession==;==;;;quibsession=late", 1);
  EXPECT_EQ(quibGetSessionCookie(), std::optional<std::string>("late"));
  for (const char* header : {"quibsession; quibsession=", "", ";;;"}) {
    setenv("HTTP_COOKIE", header, 1);
    EXPECT_EQ(quibGetSessionCookie(), std::nullopt) << header;
  }
  unsetenv("HTTP_COOKIE");
  EXPECT_EQ(quibGetSessionCookie(), std::nullopt);
}

TEST_F(Cookies, NamesAndValuesAreRunsBetweenEqualsSigns) {
  setenv("HTTP_COOKIE", "k=a=b", 1);
  EXPECT_EQ(quibGetCookie("k"), std::optional<std::string>("a"));
  setenv("HTTP_COOKIE", "==k==v=", 1);
  EXPECT_EQ(quibGetCookie("k"), std::optional<std::string>("v"));
  setenv("HTTP_COOKIE", ";; \t k \t=\t v w \t;;", 1);
  EXPECT_EQ(quibGetCookie("k"), std::optional<std::string>("v w"));
  setenv("HTTP_COOKIE", "kk=1;k=2;k=3", 1);
  EXPECT_EQ(quibGetCookie("k"), std::optional<std::string>("2"));
}

TEST(ServerName, FromTheEnvironmentOrLocalhost) {
  unsetenv("SERVER_NAME");
  EXPECT_STREQ(quibGetCurrentServerName(), "localhost");
  setenv("SERVER_NAME", "recorder.home", 1);
  EXPECT_STREQ(quibGetCurrentServerName(), "recorder.home");
  unsetenv("SERVER_NAME");
  EXPECT_STREQ(quibSessionCookieName, "quibsession");
}

// Once the page can no longer fail, it goes out in blocks as it is made; a
// failure after that ends the part already sent instead of a second header.
TEST_F(Cookies, StreamedResponseGoesOutInBlocksAndAFailureEndsIt) {
  const std::string rows(kQuibStreamBlock + 100, 'x');
  off_t sentBeforeTheEnd = 0;
  const std::string out = captureStdout([&] {
    quibPrintHttpHeader();
    quibOut("<p>");
    quibStreamResponse();
    quibOut(rows);
    std::fflush(stdout);
    struct stat status {};
    if (fstat(STDOUT_FILENO, &status) == 0) sentBeforeTheEnd = status.st_size;
    quibSendFailure("error\n", kQuibStatusServerError);
  });
  EXPECT_GE(sentBeforeTheEnd, static_cast<off_t>(kQuibStreamBlock));
  EXPECT_EQ(out, kContentType + "<p>" + rows + "error\n");
}
