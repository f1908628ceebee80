// JSON: the input is parsed; a fault must name a place inside the text, and
// a parsed value, written back with the writer, must parse again to the same
// value. The input's bytes written as a string must parse too, and writing
// that string again must give the same text (the repair of bad UTF-8 is
// done once and for all).
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "quib/json.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Numbers other than 64-bit integers have no writer call: they are written
// as null, and compared as such.
void write(JsonWriter& json, const JsonValue& value) {
  switch (value.type) {
    case JsonValue::Type::kNull:
      json.null();
      break;
    case JsonValue::Type::kBool:
      json.boolean(value.boolean);
      break;
    case JsonValue::Type::kString:
      json.string(value.text);
      break;
    case JsonValue::Type::kNumber:
      if (const std::optional<int64_t> integer = value.integer()) {
        json.number(*integer);
      } else {
        json.null();
      }
      break;
    case JsonValue::Type::kArray:
      json.beginArray();
      for (const JsonValue& item : value.items) write(json, item);
      json.endArray();
      break;
    case JsonValue::Type::kObject:
      json.beginObject();
      for (const auto& [name, member] : value.members) {
        json.key(name);
        write(json, member);
      }
      json.endObject();
      break;
  }
}

// Whether read is what written becomes once written and parsed again.
bool same(const JsonValue& written, const JsonValue& read) {
  if (written.type == JsonValue::Type::kNumber) {
    const std::optional<int64_t> integer = written.integer();
    return integer ? read.integer() == integer : read.type == JsonValue::Type::kNull;
  }
  if (written.type != read.type) return false;
  switch (written.type) {
    case JsonValue::Type::kBool:
      return written.boolean == read.boolean;
    case JsonValue::Type::kString:
      return written.text == read.text;
    case JsonValue::Type::kArray:
      return written.items.size() == read.items.size() &&
             std::equal(written.items.begin(), written.items.end(), read.items.begin(), same);
    case JsonValue::Type::kObject:
      return written.members.size() == read.members.size() &&
             std::equal(written.members.begin(), written.members.end(), read.members.begin(),
                        [](const auto& a, const auto& b) {
                          return a.first == b.first && same(a.second, b.second);
                        });
    default:
      return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const JsonParse parse = parseJson(input);
  if (!parse.value) {
    fuzzCheck(parse.fault != JsonFault::kNone && parse.offset <= input.size(),
              "a refused text has a fault inside it");
    const std::string_view before = input.substr(0, parse.offset);
    const size_t lineStart = before.rfind('\n') + 1;  // 0 when there is none
    fuzzCheck(
        parse.line == 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n')) &&
            parse.column == parse.offset - lineStart + 1,
        "a fault's line and column are those of its offset");
  } else {
    fuzzCheck(parse.fault == JsonFault::kNone, "a parsed text has no fault");
    std::string written;
    JsonWriter json(written);
    write(json, *parse.value);
    const JsonParse again = parseJson(written);
    fuzzCheck(again.value.has_value(), "the writer's text parses");
    fuzzCheck(same(*parse.value, *again.value), "the writer's text parses to what was written");
    std::string rewritten;
    JsonWriter json2(rewritten);
    write(json2, *again.value);
    fuzzCheck(rewritten == written, "writing a value read back gives the same text");
  }

  std::string quoted;
  JsonWriter(quoted).string(input);
  const JsonParse text = parseJson(quoted);
  fuzzCheck(text.value && text.value->type == JsonValue::Type::kString,
            "any bytes written as a string parse as a string");
  std::string requoted;
  JsonWriter(requoted).string(text.value->text);
  fuzzCheck(requoted == quoted, "a repaired string is written unchanged");
  return 0;
}
