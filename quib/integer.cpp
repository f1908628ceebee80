// Integer values of request texts.
#include <limits>

#include "quib/params.h"

namespace {

// The white space that atoi skips in the C locale.
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

// Reads like atoi (white space, sign, digits up to the first other character;
// no digits give 0), but a value beyond the 32-bit range gives the nearest
// limit instead of undefined behaviour.
int32_t quibAtoi(std::string_view text) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a magnitude; it stops growing once past the limit, so
  // any number of digits fits.
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude <= kMax + 1) magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (negative) return static_cast<int32_t>(-magnitude < kMin ? kMin : -magnitude);
  return static_cast<int32_t>(magnitude > kMax ? kMax : magnitude);
}

int32_t quibAtoi(ParamValue text) {
  return text ? quibAtoi(*text) : 0;
}

int32_t quibAtoi(const char* text) {
  return text ? quibAtoi(std::string_view(text)) : 0;
}

int32_t quibAtoi(const std::string& text) {
  return quibAtoi(std::string_view(text));
}
