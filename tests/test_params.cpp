// Request parameters: splitting into pairs, lookups by name, the request
// sources (query string, POST body) and integer values.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "quib/quib.h"
#include "support/test_env.h"

namespace {

// Parses a GET request with the given query string (none: variable unset).
int parseGet(const char* query) {
  setenv("REQUEST_METHOD", "GET", 1);
  if (query != nullptr) {
    setenv("QUERY_STRING", query, 1);
  } else {
    unsetenv("QUERY_STRING");
  }
  return parseParams();
}

// Parses a POST request whose body is the given bytes on standard input,
// announced by CONTENT_LENGTH as length (none: the body's size; "unset": no
// CONTENT_LENGTH). A query string is set as well, to show that POST does not
// read it.
int parsePost(const TempDir& dir, const std::string& body,
              std::optional<std::string> length = std::nullopt) {
  const std::string path = dir.file("body");
  writeFile(path, body);
  EXPECT_NE(std::freopen(path.c_str(), "r", stdin), nullptr);
  setenv("REQUEST_METHOD", "POST", 1);
  setenv("QUERY_STRING", "fromquery=1", 1);
  if (length && *length == "unset") {
    unsetenv("CONTENT_LENGTH");
  } else {
    setenv("CONTENT_LENGTH", length.value_or(std::to_string(body.size())).c_str(), 1);
  }
  return parseParams();
}

std::string valueOf(std::string_view name) {
  ParamValue value = getParam(name);
  return value ? std::string(*value) : "<none>";
}

}  // namespace

TEST(ParamPairs, RunsOfSeparatorsAndEmptyPairsAreSkipped) {
  ParamTable table;
  const std::string text = "&&a=1&&b=2&";
  ASSERT_EQ(parseParamPairs(std::string_view(text), table), 2);
  EXPECT_EQ(table[0], "a=1");
  EXPECT_EQ(table[1], "b=2");

  EXPECT_EQ(parseParamPairs(std::nullopt, table), 0);
  EXPECT_EQ(parseParamPairs(std::string_view(""), table), 0);
  EXPECT_EQ(parseParamPairs(std::string_view("&&&"), table), 0);
}

TEST(ParamPairs, TableKeepsEveryPairAFullBodyCanCarryAndReportsMore) {
  // The most pairs the largest body holds: one byte and its '&' each.
  std::string text;
  for (int i = 0; i < kQuibMaxParams; ++i) text += i == 0 ? "p" : "&p";
  ASSERT_EQ(text.size(), 65535u);
  ParamTable table;
  bool more = true;
  ASSERT_EQ(parseParamPairs(std::string_view(text), table, &more), kQuibMaxParams);
  EXPECT_FALSE(more);
  text += "&&last=1&";
  ASSERT_EQ(parseParamPairs(std::string_view(text), table, &more), kQuibMaxParams);
  EXPECT_TRUE(more);
  EXPECT_EQ(table[kQuibMaxParams - 1], "p");
  EXPECT_EQ(getParamValue(kQuibMaxParams, table, "last"), std::nullopt);
}

TEST(ParamLookup, NamesMatchWholeAndByteForByte) {
  const std::string text = "keyboard=1&ke=2&Key=3&key=7&key&key=";
  ParamTable table;
  const int count = parseParamPairs(std::string_view(text), table);
  ASSERT_EQ(count, 6);

  ParamValues out(count);
  ASSERT_EQ(getParamValues(count, &table, "key", out.data(), false), 3);
  EXPECT_EQ(out[0], ParamValue("7"));
  EXPECT_EQ(out[1], std::nullopt);  // the bare pair
  EXPECT_EQ(out[2], ParamValue(""));

  EXPECT_EQ(getParamValue(count, table, "key"), ParamValue("7"));
  EXPECT_EQ(getParamValue(count, table, "Key"), ParamValue("3"));
  EXPECT_EQ(getParamValue(count, table, "keyb"), std::nullopt);
  EXPECT_EQ(getParamValues(count, &table, "ke", nullptr, false), 1);
  EXPECT_EQ(getParamValues(count, &table, "k", nullptr, false), 0);
}

TEST(ParamLookup, NoMatchLeavesOutputUntouched) {
  const std::string text = "a=1";
  ParamTable table;
  const int count = parseParamPairs(std::string_view(text), table);
  ParamValues out(1);
  out[0] = "sentinel";
  EXPECT_EQ(getParamValues(count, &table, "b", out.data(), false), 0);
  EXPECT_EQ(getParamValues(count, &table, "b", out.data(), true), 0);
  EXPECT_EQ(out[0], ParamValue("sentinel"));
  EXPECT_EQ(getParamValues(count, nullptr, "a", out.data(), true), 0);
  // Only the first count entries are searched; a count past the table is cut.
  EXPECT_EQ(getParamValues(0, &table, "a", nullptr, false), 0);
  EXPECT_EQ(getParamValues(-5, &table, "a", nullptr, false), 0);
  EXPECT_EQ(getParamValues(kQuibMaxParams + 100, &table, "a", nullptr, false), 1);
}

TEST(RequestParams, QueryStringGivesRawPairsInRequestOrder) {
  ASSERT_EQ(parseGet("delete=Delete&key=3&key=5&title=Late+news%21&logout&note="), 6);
  EXPECT_EQ(isParam("delete"), 1);
  ParamValues keys;
  ASSERT_EQ(getParamVals("key", keys), 2);
  EXPECT_EQ(keys[0], ParamValue("3"));
  EXPECT_EQ(keys[1], ParamValue("5"));
  EXPECT_EQ(valueOf("key"), "3");

  EXPECT_EQ(valueOf("title"), "Late+news%21");
  EXPECT_EQ(quibUrlDecode(*getParam("title")), "Late news!");

  EXPECT_EQ(isParam("logout"), 1);
  EXPECT_EQ(getParam("logout"), std::nullopt);
  EXPECT_EQ(valueOf("note"), "");
  EXPECT_EQ(isParam("missing"), 0);
  EXPECT_EQ(getParamVals("missing", keys), 0);
}

TEST(RequestParams, SimilarNamesAreDifferentParameters) {
  parseGet("disable=1");
  EXPECT_EQ(getParam("disabled"), std::nullopt);
  EXPECT_EQ(isParam("disabled"), 0);
  parseGet("disabled=1");
  EXPECT_EQ(isParam("disable"), 0);
  EXPECT_EQ(isParam("disabled"), 1);
}

TEST(RequestParams, MissingQueryStringAndOtherMethods) {
  EXPECT_EQ(parseGet(nullptr), 0);
  EXPECT_EQ(isParam("a"), 0);

  // Only "POST" exactly reads the body; everything else uses the query.
  setenv("QUERY_STRING", "a=1", 1);
  for (const char* method : {"post", "PUT", "HEAD", "POST "}) {
    setenv("REQUEST_METHOD", method, 1);
    EXPECT_EQ(parseParams(), 1) << method;
    EXPECT_EQ(valueOf("a"), "1") << method;
  }
  unsetenv("REQUEST_METHOD");
  EXPECT_EQ(parseParams(), 1);
  EXPECT_EQ(valueOf("a"), "1");
}

TEST(RequestParams, ValuesOutliveTheEnvironmentAndALaterParse) {
  parseGet("title=first");
  const ParamValue title = getParam("title");
  setenv("QUERY_STRING", "title=XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX", 1);
  parseGet("title=second");
  ASSERT_TRUE(title);
  EXPECT_EQ(*title, "first");
  EXPECT_EQ(valueOf("title"), "second");
}

TEST(RequestParams, ThousandsOfKeysAllCountAndMoreThanTheTableAreReported) {
  std::string query;
  for (int i = 0; i < 1500; ++i) query += "key=" + std::to_string(i) + "&";
  query += "last=1";
  ASSERT_EQ(parseGet(query.c_str()), 1501);
  EXPECT_FALSE(quibTooManyParams());
  ParamValues keys;
  ASSERT_EQ(getParamVals("key", keys), 1500);
  EXPECT_EQ(keys[1499], ParamValue("1499"));
  EXPECT_EQ(isParam("last"), 1);

  query.clear();
  for (int i = 0; i <= kQuibMaxParams; ++i) query += "k&";
  ASSERT_EQ(parseGet(query.c_str()), kQuibMaxParams);
  EXPECT_TRUE(quibTooManyParams());
  ASSERT_EQ(parseGet("a=1"), 1);
  EXPECT_FALSE(quibTooManyParams());
}

TEST(RequestParams, PostReadsTheAnnouncedBodyWithoutItsLineEnd) {
  TempDir dir;
  ASSERT_EQ(parsePost(dir, "pass=x&login=y\nsecond=line\n"), 2);
  EXPECT_EQ(valueOf("pass"), "x");
  EXPECT_EQ(valueOf("login"), "y\nsecond=line");  // a line end inside the body is data
  EXPECT_EQ(isParam("fromquery"), 0);

  ASSERT_EQ(parsePost(dir, "a=1&b=2"), 2);
  EXPECT_EQ(valueOf("b"), "2");
  ASSERT_EQ(parsePost(dir, "a=1&b=NL\r\n"), 2);
  EXPECT_EQ(valueOf("b"), "NL");
  ASSERT_EQ(parsePost(dir, "a=1&b=NL\n"), 2);
  EXPECT_EQ(valueOf("b"), "NL");
  // Bytes beyond the announced length are not read.
  ASSERT_EQ(parsePost(dir, "a=1&b=2&c=3", "4"), 1);
  EXPECT_EQ(valueOf("a"), "1");
  EXPECT_EQ(isParam("b"), 0);
}

TEST(RequestParams, PostWithoutAWholeAnnouncedBodyHasNoParameters) {
  TempDir dir;
  struct Case {
    const char* body;
    const char* length;
  };
  for (const Case& c :
       {Case{"", nullptr}, Case{"\n", nullptr}, Case{"a=1&b=2", "8"}, Case{"a=1", "1000"},
        Case{"a=1&b=2", "unset"}, Case{"a=1", ""}, Case{"a=1", "3x"}, Case{"a=1", "-3"},
        Case{"a=1", " 3"}, Case{"a=1", "0"}}) {
    SCOPED_TRACE(c.length ? c.length : "body size");
    EXPECT_EQ(
        parsePost(dir, c.body, c.length ? std::optional<std::string>(c.length) : std::nullopt), 0);
    EXPECT_EQ(isParam("a"), 0);
    EXPECT_EQ(isParam("fromquery"), 0);
  }
}

TEST(RequestParams, PostBodyUpTo64KiBIsReadWhole) {
  TempDir dir;
  const std::string big = "big=" + std::string(65536 - 4 - 8, 'x') + "&after=1";
  ASSERT_EQ(big.size(), 65536u);
  ASSERT_EQ(parsePost(dir, big), 2);
  EXPECT_EQ(getParam("big")->size(), 65536u - 4 - 8);
  EXPECT_EQ(valueOf("after"), "1");
}

TEST(RequestParams, RawBytesArePassedThrough) {
  TempDir dir;
  parsePost(dir, std::string("t=\xff\xfe%00%zz&n\xc3\xa9=1\n"));
  EXPECT_EQ(valueOf("t"), "\xff\xfe%00%zz");
  EXPECT_EQ(valueOf("n\xc3\xa9"), "1");
}

TEST(IntegerValue, ReadsLikeAtoiWithinRange) {
  EXPECT_EQ(quibAtoi("42"), 42);
  EXPECT_EQ(quibAtoi(" \t\n\v\f\r-17x"), -17);
  EXPECT_EQ(quibAtoi("+5"), 5);
  EXPECT_EQ(quibAtoi("0009"), 9);
  EXPECT_EQ(quibAtoi("12 34"), 12);
  EXPECT_EQ(quibAtoi("3\n"), 3);
  for (const char* none : {"", "abc", "-", "+", "- 5", "+-5", "x12", " "}) {
    EXPECT_EQ(quibAtoi(none), 0) << none;
  }
  EXPECT_EQ(quibAtoi(ParamValue()), 0);
  EXPECT_EQ(quibAtoi(ParamValue("77")), 77);
}

TEST(IntegerValue, SaturatesAtThe32BitLimits) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  EXPECT_EQ(quibAtoi("2147483647"), kMax);
  EXPECT_EQ(quibAtoi("2147483648"), kMax);
  EXPECT_EQ(quibAtoi("-2147483648"), kMin);
  EXPECT_EQ(quibAtoi("-2147483649"), kMin);
  EXPECT_EQ(quibAtoi("99999999999999999999999999999999"), kMax);
  EXPECT_EQ(quibAtoi("-99999999999999999999999999999999"), kMin);
  EXPECT_EQ(quibAtoi("18446744073709551617"), kMax);  // 2^64 + 1 does not wrap
  EXPECT_EQ(quibAtoi("-" + std::string(5000, '9')), kMin);
}
