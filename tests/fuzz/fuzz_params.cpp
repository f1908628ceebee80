// Request parameters and URL coding: the input is a query string. The pair
// table, the lookups, quibAtoi and the URL and HTML coding of every value
// are checked against what they promise.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "quib/quib.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::string_view nameOf(std::string_view pair) {
  return pair.substr(0, pair.find('='));
}

// What atoi would give for text if it saturated at the 32-bit limits.
int32_t referenceAtoi(std::string_view text) {
  const std::string terminated(text);
  const long long value = std::strtoll(terminated.c_str(), nullptr, 10);
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

bool isEncodedByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~' || c == '+' || c == '%';
}

// Encoding then decoding gives the text back, up to its first zero byte
// (decoding ends there); the encoded form holds only URL-safe bytes.
void checkUrlCoding(std::string_view text) {
  const std::string encoded = quibUrlEncode(text);
  for (char c : encoded) fuzzCheck(isEncodedByte(c), "encoded text holds only URL-safe bytes");
  fuzzCheck(quibUrlDecode(encoded) == text.substr(0, text.find('\0')),
            "decode(encode(text)) gives text up to its first zero byte");
  const std::string decoded = quibUrlDecode(text);
  fuzzCheck(decoded.size() <= text.size(), "decoding never lengthens a text");
  fuzzCheck(decoded.find('\0') == std::string::npos, "decoded text holds no zero byte");
}

void checkHtmlEscape(std::string_view text) {
  const std::string escaped = quibHtmlEscape(text);
  fuzzCheck(escaped.find_first_of("<>\"'") == std::string::npos,
            "escaped text holds no markup character");
  fuzzCheck(escaped.size() >= text.size(), "escaping never shortens a text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view query(reinterpret_cast<const char*>(data), size);
  ParamTable table;
  const int count = parseParamPairs(query, table);
  fuzzCheck(count >= 0 && count <= kQuibMaxParams, "pair count within the table");
  for (int i = 0; i < count; ++i) {
    const std::string_view pair = table[i];
    fuzzCheck(!pair.empty() && pair.find('&') == std::string_view::npos,
              "a pair is a non-empty text without '&'");
    fuzzCheck(pair.data() >= query.data() && pair.data() + pair.size() <= query.data() + size,
              "a pair views the query");

    // The single lookup finds the first pair of that name; the multiple one
    // finds every one.
    const std::string_view name = nameOf(pair);
    int first = 0;
    int matches = 0;
    while (nameOf(table[first]) != name) ++first;
    for (int j = 0; j < count; ++j) matches += nameOf(table[j]) == name ? 1 : 0;
    const ParamValue value = getParamValue(count, table, name);
    const size_t equals = table[first].find('=');
    fuzzCheck(value.has_value() == (equals != std::string_view::npos),
              "a value exactly for a pair with '='");
    if (value) fuzzCheck(*value == table[first].substr(equals + 1), "the first pair's value");
    ParamValues all(static_cast<size_t>(count));
    fuzzCheck(getParamValues(count, &table, name, all.data(), false) == matches,
              "every pair of the name is found");
    fuzzCheck(getParamValues(count, &table, name, nullptr, false) == 1, "presence test");

    const std::string_view text = value.value_or("");
    fuzzCheck(quibAtoi(value) == referenceAtoi(text), "quibAtoi reads as a saturating atoi");
    checkUrlCoding(text);
    checkHtmlEscape(quibUrlDecode(text));
  }
  checkUrlCoding(query);
  return 0;
}
