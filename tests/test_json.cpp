// The JSON writer's escaping and structure, the strict parser's accepted
// texts and faults, and the round trip of any bytes through both.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "quib/json.h"

namespace {

// A parsed value as compact JSON, numbers as their text.
std::string canonical(const JsonValue& value) {
  std::string out;
  switch (value.type) {
    case JsonValue::Type::kNull:
      return "null";
    case JsonValue::Type::kBool:
      return value.boolean ? "true" : "false";
    case JsonValue::Type::kNumber:
      return value.text;
    case JsonValue::Type::kString:
      return "\"" + (jsonEscape(out, value.text), out) + "\"";
    case JsonValue::Type::kArray:
      for (const JsonValue& item : value.items) out += (out.empty() ? "" : ",") + canonical(item);
      return "[" + out + "]";
    case JsonValue::Type::kObject:
      for (const auto& [name, member] : value.members) {
        out += (out.empty() ? "\"" : ",\"") + name + "\":" + canonical(member);
      }
      return "{" + out + "}";
  }
  return "?";
}

// What the writer should make of bytes: each code point decoded by its lead
// byte's bit pattern and refused when overlong, a surrogate or too large;
// each byte that starts no code point gives U+FFFD.
std::string repaired(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const size_t length = lead < 0x80    ? 1
                          : lead >= 0xF8 ? 0
                          : lead >= 0xF0 ? 4
                          : lead >= 0xE0 ? 3
                          : lead >= 0xC0 ? 2
                                         : 0;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    bool good = length > 0 && i + length <= bytes.size();
    for (size_t k = 1; good && k < length; ++k) {
      good = (bytes[i + k] & 0xC0) == 0x80;
      code = code << 6 | (bytes[i + k] & 0x3F);
    }
    const uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    good = good && code >= shortest[length] && code <= 0x10FFFF && (code >> 11) != 0x1B;
    out += good ? bytes.substr(i, length) : "\xEF\xBF\xBD";
    i += good ? length : 1;
  }
  return out;
}

}  // namespace

TEST(JsonWriter, EscapesControlsQuotesAndRepairsUtf8) {
  const struct {
    std::string text, escaped;
  } rows[] = {
      {"News & Weather <live>", "News & Weather <live>"},
      {"say \"hi\" \\ /", "say \\\"hi\\\" \\\\ /"},
      {std::string("\0\x01\x1f\x7f", 4), "\\u0000\\u0001\\u001f\\u007f"},
      {"\b\f\n\r\t", "\\b\\f\\n\\r\\t"},
      {"Caf\xe9", "Caf\xEF\xBF\xBD"},                                                    // Latin-1
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xba", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xba"},  // kept
      {"a\xe2\x82", "a\xEF\xBF\xBD\xEF\xBF\xBD"},                // cut short
      {"\x80z", "\xEF\xBF\xBDz"},                                // stray continuation
      {"\xc0\xaf", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong '/'
      {"\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"\xf4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // > U+10FFFF
      {"\xe2\x80\xa8\xe2\x80\xa9", "\\u2028\\u2029"},
  };
  for (const auto& row : rows) {
    std::string out = "x";
    jsonEscape(out, row.text);
    EXPECT_EQ(out, "x" + row.escaped) << row.text;
  }
}

TEST(JsonWriter, WritesCommasAndColonsAtEveryLevel) {
  std::string out;
  JsonWriter json(out);
  json.beginArray();
  json.beginObject();
  json.key("a\"b");
  json.number(INT64_MIN);
  json.key("c");
  json.beginArray();
  json.endArray();
  json.endObject();
  json.number(INT64_MAX);
  json.boolean(false);
  json.null();
  json.string("x\x01");
  json.beginObject();
  json.endObject();
  json.endArray();
  EXPECT_EQ(out,
            "[{\"a\\\"b\":-9223372036854775808,\"c\":[]},9223372036854775807,false,null,"
            "\"x\\u0001\",{}]");
}

TEST(JsonParse, AcceptsStrictJson) {
  const struct {
    std::string text, value;
  } rows[] = {
      {" {\"title\":\"News\",\"channel\":28,\"enabled\":true,\"next\":null}\r\n\t",
       "{\"title\":\"News\",\"channel\":28,\"enabled\":true,\"next\":null}"},
      {"[ -0 , 0.5 , 1e9 , -12.5E-3 , 2E+2 ]", "[-0,0.5,1e9,-12.5E-3,2E+2]"},
      {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u0041\\u00e9\\u20AC\\ud83d\\udcfa\"",
       "\"\\\"\\\\/\\b\\f\\n\\r\\tA\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xba\""},
      {"\"\x7f\xc3\xa9\"", "\"\\u007f\xc3\xa9\""},
      {"{\"a\":{\"a\":[]},\"A\":{}}", "{\"a\":{\"a\":[]},\"A\":{}}"},
      {std::string(32, '[') + std::string(32, ']'), std::string(32, '[') + std::string(32, ']')},
  };
  for (const auto& row : rows) {
    const JsonParse parse = parseJson(row.text);
    ASSERT_TRUE(parse.value) << row.text << " fault " << static_cast<int>(parse.fault);
    EXPECT_EQ(canonical(*parse.value), row.value);
  }
}

TEST(JsonParse, RefusesWithFaultAndPlace) {
  using F = JsonFault;
  const struct {
    std::string text;
    JsonFault fault;
    size_t offset, line, column;
  } rows[] = {
      {"", F::kUnexpectedEnd, 0, 1, 1},
      {"{\"a\":1", F::kUnexpectedEnd, 6, 1, 7},
      {"[1,\n tru", F::kUnexpectedEnd, 8, 2, 5},
      {"[1,]", F::kUnexpectedCharacter, 3, 1, 4},
      {"{\"a\":1,}", F::kUnexpectedCharacter, 7, 1, 8},
      {"\xef\xbb\xbf{}", F::kUnexpectedCharacter, 0, 1, 1},  // a byte order mark
      {"nul1", F::kUnexpectedCharacter, 3, 1, 4},
      {"[01]", F::kBadNumber, 2, 1, 3},
      {"-", F::kBadNumber, 1, 1, 2},
      {"1.", F::kBadNumber, 2, 1, 3},
      {"\"\\x\"", F::kBadEscape, 1, 1, 2},
      {"\"ab\\u12g4\"", F::kBadEscape, 3, 1, 4},
      {"\"\\udc00\"", F::kBadEscape, 1, 1, 2},
      {"\"\\ud800\\u0041\"", F::kBadEscape, 1, 1, 2},
      {"\"\\ud800", F::kUnexpectedEnd, 7, 1, 8},
      {std::string("\"\0\"", 3), F::kControlCharacter, 1, 1, 2},
      {"\"Caf\xe9\"", F::kBadUtf8, 4, 1, 5},
      {"\"\xed\xb0\x80\"", F::kBadUtf8, 1, 1, 2},
      {"\"\xe2\x82\"", F::kBadUtf8, 1, 1, 2},
      {"{\"a\":1,\n\"b\":2,\"\\u0061\":3}", F::kDuplicateName, 14, 2, 7},
      {"{\"b\":{},\"a\":1,\"b\":2,\"a\":3}", F::kDuplicateName, 14, 1, 15},
      {std::string(33, '['), F::kTooDeep, 32, 1, 33},
      {std::string(31, '[') + "{\"a\":{", F::kTooDeep, 36, 1, 37},
      {"{} {}", F::kTrailingText, 3, 1, 4},
      {"1\n\n x", F::kTrailingText, 4, 3, 2},
  };
  for (const auto& row : rows) {
    const JsonParse parse = parseJson(row.text);
    EXPECT_FALSE(parse.value) << row.text;
    EXPECT_EQ(static_cast<int>(parse.fault), static_cast<int>(row.fault)) << row.text;
    EXPECT_EQ(parse.offset, row.offset) << row.text;
    EXPECT_EQ(parse.line, row.line) << row.text;
    EXPECT_EQ(parse.column, row.column) << row.text;
  }
}

TEST(JsonValue, FindsMembersAndReadsIntegers) {
  const JsonParse parse = parseJson(
      "{\"a\":-0,\"b\":9223372036854775807,\"c\":-9223372036854775808,\"d\":9223372036854775808,"
      "\"e\":1.0,\"f\":1e2,\"g\":\"7\",\"h\":[]}");
  ASSERT_TRUE(parse.value);
  const JsonValue& object = *parse.value;
  EXPECT_EQ(object.find("a")->integer(), 0);
  EXPECT_EQ(object.find("b")->integer(), INT64_MAX);
  EXPECT_EQ(object.find("c")->integer(), INT64_MIN);
  for (const char* name : {"d", "e", "f", "g", "h"}) EXPECT_FALSE(object.find(name)->integer());
  EXPECT_EQ(object.find("x"), nullptr);
  EXPECT_EQ(object.find("h")->find("a"), nullptr);  // not an object
}

// Any bytes written as a string parse back as their repair.
TEST(JsonRoundTrip, AnyBytesParseBackAsTheirRepair) {
  // Whole and broken sequences and bytes that need escapes, between random bytes.
  // clang-format off
  const std::string_view pieces[] = {"a", "\"", "\\", "\n", "\x7f", "\xe9", "\xc3\xa9", "\xe2\x80\xa8",
      "\xf0\x9f\x93\xba", "\xed\xa0\x80", "\xc0\xaf", "\xe2\x82", "\x80", "\xf4\x90\x80\x80",
      "\xf8\x90\x80\x80"};
  // clang-format on
  std::mt19937 random(20310314);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    for (int n = random() % 12; n > 0; --n) {
      if (random() % 3 == 0) {
        bytes += static_cast<char>(random() % 256);
      } else {
        bytes += pieces[random() % std::size(pieces)];
      }
    }
    std::string out;
    JsonWriter(out).string(bytes);
    const JsonParse parse = parseJson(out);
    ASSERT_TRUE(parse.value) << out;
    EXPECT_EQ(parse.value->text, repaired(bytes)) << out;
  }
}
