// The strict JSON parser for request bodies (RFC 8259), by recursive
// descent bounded by kJsonMaxDepth. A fault stops the parse where it is
// found; nothing is thrown.
#include <algorithm>
#include <charconv>
#include <numeric>

#include "quib/json.h"
#include "quib/utf8.h"

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonParse run() {
    JsonParse result;
    JsonValue value;
    skipSpace();
    if (parseValue(value, 0)) {
      skipSpace();
      if (pos_ == text_.size()) {
        result.value = std::move(value);
        return result;
      }
      fail(JsonFault::kTrailingText, pos_);
    }
    result.fault = fault_;
    result.offset = faultAt_;
    // Lines end at line feeds; a column counts the bytes since the last one.
    const std::string_view before = text_.substr(0, faultAt_);
    result.line = 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
    const size_t lineStart = before.rfind('\n');
    result.column = faultAt_ + 1 - (lineStart == std::string_view::npos ? 0 : lineStart + 1);
    return result;
  }

 private:
  // Records the fault and gives false, for `return fail(...)`.
  bool fail(JsonFault fault, size_t at) {
    fault_ = fault;
    faultAt_ = at;
    return false;
  }
  bool atEnd() const { return pos_ == text_.size(); }
  // The fault of a character that cannot stand at pos_: the end of the
  // text, when that is what is there.
  bool unexpected() {
    return fail(atEnd() ? JsonFault::kUnexpectedEnd : JsonFault::kUnexpectedCharacter, pos_);
  }

  void skipSpace() {
    while (!atEnd()) {
      const char c = text_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
      ++pos_;
    }
  }

  bool parseValue(JsonValue& value, int depth) {
    if (atEnd()) return unexpected();
    switch (text_[pos_]) {
      case '{':
        return parseObject(value, depth + 1);
      case '[':
        return parseArray(value, depth + 1);
      case '"':
        value.type = JsonValue::Type::kString;
        return parseString(value.text);
      case 't':
        value.type = JsonValue::Type::kBool;
        value.boolean = true;
        return literal("true");
      case 'f':
        value.type = JsonValue::Type::kBool;
        return literal("false");
      case 'n':
        value.type = JsonValue::Type::kNull;
        return literal("null");
      default:
        if (text_[pos_] == '-' || isDigit(text_[pos_])) return parseNumber(value);
        return unexpected();
    }
  }

  bool literal(std::string_view word) {
    for (const char c : word) {
      if (atEnd() || text_[pos_] != c) return unexpected();
      ++pos_;
    }
    return true;
  }

  // A run of digits, at least one.
  bool digits() {
    if (atEnd() || !isDigit(text_[pos_])) return fail(JsonFault::kBadNumber, pos_);
    while (!atEnd() && isDigit(text_[pos_])) ++pos_;
    return true;
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?, kept as text.
  bool parseNumber(JsonValue& value) {
    const size_t start = pos_;
    if (text_[pos_] == '-') ++pos_;
    if (!atEnd() && text_[pos_] == '0') {
      ++pos_;
      if (!atEnd() && isDigit(text_[pos_])) return fail(JsonFault::kBadNumber, pos_);
    } else if (!digits()) {
      return false;
    }
    if (!atEnd() && text_[pos_] == '.') {
      ++pos_;
      if (!digits()) return false;
    }
    if (!atEnd() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (!atEnd() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (!digits()) return false;
    }
    value.type = JsonValue::Type::kNumber;
    value.text.assign(text_.substr(start, pos_ - start));
    return true;
  }

  // Four hex digits after "\u" at pos_.
  bool hexQuad(uint32_t& code, size_t escapeStart) {
    code = 0;
    for (int i = 0; i < 4; ++i, ++pos_) {
      if (atEnd()) return unexpected();
      const int digit = hexValue(text_[pos_]);
      if (digit < 0) return fail(JsonFault::kBadEscape, escapeStart);
      code = code << 4 | static_cast<uint32_t>(digit);
    }
    return true;
  }

  // The escape whose backslash is at pos_, decoded onto out.
  bool parseEscape(std::string& out) {
    const size_t start = pos_++;
    if (atEnd()) return unexpected();
    const char c = text_[pos_++];
    switch (c) {
      case '"':
        out += '"';
        return true;
      case '\\':
        out += '\\';
        return true;
      case '/':
        out += '/';
        return true;
      case 'b':
        out += '\b';
        return true;
      case 'f':
        out += '\f';
        return true;
      case 'n':
        out += '\n';
        return true;
      case 'r':
        out += '\r';
        return true;
      case 't':
        out += '\t';
        return true;
      case 'u':
        break;
      default:
        return fail(JsonFault::kBadEscape, start);
    }
    uint32_t code = 0;
    if (!hexQuad(code, start)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return fail(JsonFault::kBadEscape, start);
    if (code >= 0xD800 && code <= 0xDBFF) {
      // A high surrogate needs a low one in the escape right after it.
      for (const char c : {'\\', 'u'}) {
        if (atEnd()) return unexpected();
        if (text_[pos_++] != c) return fail(JsonFault::kBadEscape, start);
      }
      uint32_t low = 0;
      if (!hexQuad(low, start)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return fail(JsonFault::kBadEscape, start);
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    appendUtf8(out, code);
    return true;
  }

  // The string whose opening quote is at pos_, decoded onto out.
  bool parseString(std::string& out) {
    ++pos_;
    while (true) {
      // Plain ASCII is copied in runs.
      const size_t run = pos_;
      while (!atEnd()) {
        const auto c = static_cast<unsigned char>(text_[pos_]);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') break;
        ++pos_;
      }
      out.append(text_.data() + run, pos_ - run);
      if (atEnd()) return unexpected();
      const auto c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c == '\\') {
        if (!parseEscape(out)) return false;
      } else if (c < 0x20) {
        return fail(JsonFault::kControlCharacter, pos_);
      } else if (c == 0x7F) {
        out += '\x7F';
        ++pos_;
      } else {
        const size_t length = quibUtf8Length(text_, pos_);
        if (length == 0) return fail(JsonFault::kBadUtf8, pos_);
        out.append(text_.data() + pos_, length);
        pos_ += length;
      }
    }
  }

  bool parseArray(JsonValue& value, int depth) {
    if (depth > kJsonMaxDepth) return fail(JsonFault::kTooDeep, pos_);
    value.type = JsonValue::Type::kArray;
    ++pos_;
    skipSpace();
    if (!atEnd() && text_[pos_] == ']') {
      ++pos_;
      return true;
    }
    while (true) {
      value.items.emplace_back();
      if (!parseValue(value.items.back(), depth)) return false;
      skipSpace();
      if (atEnd()) return unexpected();
      if (text_[pos_] == ']') {
        ++pos_;
        return true;
      }
      if (text_[pos_] != ',') return unexpected();
      ++pos_;
      skipSpace();
    }
  }

  bool parseObject(JsonValue& value, int depth) {
    if (depth > kJsonMaxDepth) return fail(JsonFault::kTooDeep, pos_);
    value.type = JsonValue::Type::kObject;
    ++pos_;
    skipSpace();
    if (!atEnd() && text_[pos_] == '}') {
      ++pos_;
      return true;
    }
    // Where each name starts, for the fault of a name given twice.
    std::vector<size_t> nameAt;
    while (true) {
      if (atEnd() || text_[pos_] != '"') return unexpected();
      nameAt.push_back(pos_);
      value.members.emplace_back();
      if (!parseString(value.members.back().first)) return false;
      skipSpace();
      if (atEnd() || text_[pos_] != ':') return unexpected();
      ++pos_;
      skipSpace();
      if (!parseValue(value.members.back().second, depth)) return false;
      skipSpace();
      if (atEnd()) return unexpected();
      if (text_[pos_] == '}') {
        ++pos_;
        return uniqueNames(value.members, nameAt);
      }
      if (text_[pos_] != ',') return unexpected();
      ++pos_;
      skipSpace();
    }
  }

  // Faults the first member, in text order, whose name an earlier member
  // has. Sorting keeps a large object from costing quadratic time.
  bool uniqueNames(const std::vector<std::pair<std::string, JsonValue>>& members,
                   const std::vector<size_t>& nameAt) {
    std::vector<size_t> order(members.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      const int compared = members[a].first.compare(members[b].first);
      return compared < 0 || (compared == 0 && a < b);
    });
    size_t firstRepeat = members.size();
    for (size_t i = 1; i < order.size(); ++i) {
      if (members[order[i]].first == members[order[i - 1]].first) {
        firstRepeat = std::min(firstRepeat, order[i]);
      }
    }
    if (firstRepeat == members.size()) return true;
    return fail(JsonFault::kDuplicateName, nameAt[firstRepeat]);
  }

  std::string_view text_;
  size_t pos_ = 0;
  JsonFault fault_ = JsonFault::kNone;
  size_t faultAt_ = 0;
};

}  // namespace

JsonParse parseJson(std::string_view text) {
  return Parser(text).run();
}

const JsonValue* JsonValue::find(std::string_view name) const {
  if (type != Type::kObject) return nullptr;
  for (const auto& member : members) {
    if (member.first == name) return &member.second;
  }
  return nullptr;
}

std::optional<int64_t> JsonValue::integer() const {
  if (type != Type::kNumber || text.find_first_of(".eE") != std::string::npos) return std::nullopt;
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const std::from_chars_result read = std::from_chars(text.data(), end, value);
  if (read.ec != std::errc() || read.ptr != end) return std::nullopt;
  return value;
}
