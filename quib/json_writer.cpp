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
constexpr bool plainByte(unsigned c) {
  return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
}

// The same for every byte, looked up: the writer asks it of every byte of
// every name and string.
struct PlainBytes {
  bool plain[256] = {};
  constexpr PlainBytes() {
    for (unsigned c = 0; c < 256; ++c) plain[c] = plainByte(c);
  }
};
constexpr PlainBytes kPlainBytes;

bool isPlain(unsigned char c) {
  return kPlainBytes.plain[c];
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
  if (depth_ == 0) return;
  const uint64_t bit = uint64_t{1} << (depth_ - 1);
  if (hasMember_ & bit) out_ += ',';
  hasMember_ |= bit;
}

void JsonWriter::open() {
  assert(depth_ < kJsonMaxWriteDepth);
  hasMember_ &= ~(uint64_t{1} << depth_);
  ++depth_;
}

void JsonWriter::beginObject() {
  separate();
  out_ += '{';
  open();
}

void JsonWriter::endObject() {
  assert(depth_ > 0 && !afterKey_);
  --depth_;
  out_ += '}';
}

void JsonWriter::beginArray() {
  separate();
  out_ += '[';
  open();
}

void JsonWriter::endArray() {
  assert(depth_ > 0 && !afterKey_);
  --depth_;
  out_ += ']';
}

namespace {

// True when every byte of text stands for itself: the names a program
// writes and most values then go in as one piece.
bool allPlain(std::string_view text) {
  for (char c : text) {
    if (!isPlain(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

void JsonWriter::key(std::string_view name) {
  assert(depth_ > 0 && !afterKey_);
  separate();
  // A plain name, as every name a program writes, goes in with its quotes
  // and colon in one piece.
  char piece[48];
  if (name.size() + 3 <= sizeof piece && allPlain(name)) {
    piece[0] = '"';
    name.copy(piece + 1, name.size());
    piece[name.size() + 1] = '"';
    piece[name.size() + 2] = ':';
    out_.append(piece, name.size() + 3);
  } else {
    out_ += '"';
    jsonEscape(out_, name);
    out_.append("\":", 2);
  }
  afterKey_ = true;
}

void JsonWriter::string(std::string_view text) {
  separate();
  out_ += '"';
  if (allPlain(text)) {
    out_.append(text);
  } else {
    jsonEscape(out_, text);
  }
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
