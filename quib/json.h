// JSON in and out of the toolkit: a writer whose every answer parses, and a
// strict parser for request bodies (json_writer.cpp, json_parse.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Arrays and objects that a writer may nest.
constexpr int kJsonMaxWriteDepth = 64;

// Appends JSON text to out. Commas and the colon after a key are written by
// the writer itself; the caller only says what comes next. Strings are
// escaped fully: '"', '\\' and every control character (U+0000 to U+001F,
// and U+007F) are written as escapes, and bytes that are not well-formed
// UTF-8 (a firmware title may be Latin-1) become U+FFFD each, so that every
// answer is valid JSON whatever the database holds.
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}
  void beginObject();
  void endObject();
  void beginArray();
  void endArray();
  // The name of the next member of the current object.
  void key(std::string_view name);
  void string(std::string_view text);
  void number(int64_t value);
  void boolean(bool value);
  void null();

 private:
  void separate();
  void open();
  std::string& out_;
  // Bit d: whether the object or array open at depth d (from 0) has a
  // member yet. Writers nest no deeper than kJsonMaxWriteDepth.
  uint64_t hasMember_ = 0;
  int depth_ = 0;
  bool afterKey_ = false;
};

// Appends text as the contents of a JSON string (no quotes), escaped as the
// writer escapes it.
void jsonEscape(std::string& out, std::string_view text);

// One parsed JSON value. Numbers keep their text, checked against the JSON
// grammar; integer() reads it when it is an integer that fits.
struct JsonValue {
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
  Type type = Type::kNull;
  bool boolean = false;
  std::string text;              // a string's decoded UTF-8, or a number's text
  std::vector<JsonValue> items;  // an array's
  std::vector<std::pair<std::string, JsonValue>> members;  // an object's, in order

  // The member with this name, or null (objects only; null otherwise).
  const JsonValue* find(std::string_view name) const;
  // A number without fraction or exponent that fits 64 bits ("-0" is 0);
  // none for anything else.
  std::optional<int64_t> integer() const;
};

// Why a text is not the JSON the parser takes.
enum class JsonFault {
  kNone,
  kUnexpectedEnd,        // the text ends inside a value
  kUnexpectedCharacter,  // a character that cannot stand there
  kBadNumber,            // a number outside the grammar (leading zero, "1.", "-")
  kBadEscape,            // an unknown escape, a bad \u, an unpaired surrogate
  kControlCharacter,     // an unescaped control character inside a string
  kBadUtf8,              // bytes that are not well-formed UTF-8
  kDuplicateName,        // an object names a member twice
  kTooDeep,              // more than kJsonMaxDepth nested arrays and objects
  kTrailingText,         // anything but white space after the value
};

// Arrays and objects nest at most this deep.
constexpr int kJsonMaxDepth = 32;

struct JsonParse {
  std::optional<JsonValue> value;  // none when fault is set
  JsonFault fault = JsonFault::kNone;
  // Where the fault was found: a byte offset and its line and column (both
  // counted from 1; the column in bytes).
  size_t offset = 0;
  size_t line = 0;
  size_t column = 0;
};

// Parses text as one JSON value (RFC 8259) strictly: UTF-8 only, no
// comments, no trailing commas, no duplicate member names, no lone
// surrogates, white space only around the value.
JsonParse parseJson(std::string_view text);
