// The JSON writer: structure, commas and fully escaped strings.
#include <cassert>
#include <charconv>

#include "quib/json.h"
#include "quib/utf8.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Bytes that stand for themselves in a JSON string: printable ASCII but the
// quote and the backslash.
bool isPlain(unsigned char c) {
  return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
}

void appendUnicodeEscape(std::string& out, unsigned code) {
  const char escape[] = {'\\',
                         'u',
                         kHexDigits[(code >> 12) & 0xF],
                         kHexDigits[(code >> 8) & 0xF],
                         kHexDigits[(code >> 4) & 0xF],
                         kHexDigits[code & 0xF]};
  out.append(escape, sizeof escape);
}

// The escape of an ASCII byte that is not plain.
void appendAsciiEscape(std::string& out, unsigned char c) {
  switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\f':
      out += "\\f";
      break;
    default:
      appendUnicodeEscape(out, c);
      break;
  }
}

}  // namespace

// Runs of plain bytes and of well-formed multi-byte sequences are appended
// as they are; each byte that starts no well-formed sequence becomes one
// U+FFFD. U+2028 and U+2029 are escaped as well, since JavaScript before
// ES2019 ends a string literal at them.
void jsonEscape(std::string& out, std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    size_t run = i;
    while (run < text.size() && isPlain(static_cast<unsigned char>(text[run]))) ++run;
    out.append(text.data() + i, run - i);
    i = run;
    if (i == text.size()) break;
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      appendAsciiEscape(out, c);
      ++i;
      continue;
    }
    const size_t length = quibUtf8Length(text, i);
    if (length == 0) {
      out += kReplacement;
      ++i;
    } else if (length == 3 && c == 0xE2 && text[i + 1] == '\x80' &&
               (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      appendUnicodeEscape(out, text[i + 2] == '\xA8' ? 0x2028 : 0x2029);
      i += 3;
    } else {
      out.append(text.data() + i, length);
      i += length;
    }
  }
}

// Writes the comma before any member but the first of its object or array;
// a value right after its key follows the colon instead.
void JsonWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (hasMember_.empty()) return;
  if (hasMember_.back()) out_ += ',';
  hasMember_.back() = true;
}

void JsonWriter::beginObject() {
  separate();
  out_ += '{';
  hasMember_.push_back(false);
}

void JsonWriter::endObject() {
  assert(!hasMember_.empty() && !afterKey_);
  hasMember_.pop_back();
  out_ += '}';
}

void JsonWriter::beginArray() {
  separate();
  out_ += '[';
  hasMember_.push_back(false);
}

void JsonWriter::endArray() {
  assert(!hasMember_.empty() && !afterKey_);
  hasMember_.pop_back();
  out_ += ']';
}

void JsonWriter::key(std::string_view name) {
  assert(!hasMember_.empty() && !afterKey_);
  separate();
  out_ += '"';
  jsonEscape(out_, name);
  out_ += "\":";
  afterKey_ = true;
}

void JsonWriter::string(std::string_view text) {
  separate();
  out_ += '"';
  jsonEscape(out_, text);
  out_ += '"';
}

void JsonWriter::number(int64_t value) {
  separate();
  // 20 characters hold every 64-bit integer, the sign included.
  char digits[20];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
  assert(end.ec == std::errc());
  out_.append(digits, static_cast<size_t>(end.ptr - digits));
}

void JsonWriter::boolean(bool value) {
  separate();
  out_ += value ? "true" : "false";
}

void JsonWriter::null() {
  separate();
  out_ += "null";
}
