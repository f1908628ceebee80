// URL encoding and decoding of texts (form values, links).
#include "quib/params.h"

namespace {

// Bytes that URL encoding keeps as they are: ASCII letters, digits, -_.~
bool isUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~';
}

}  // namespace

// A decimal digit gives its value; any other character c gives
// tolower(c) - 'a' + 10 taken as a signed 8-bit number. Letters beyond 'f'
// and punctuation are not rejected: the decoder never validates its digits.
int from_hex(char character) {
  const unsigned char c = static_cast<unsigned char>(character);
  if (c >= '0' && c <= '9') return c - '0';
  const unsigned lower = (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
  const unsigned value = (lower - 'a' + 10u) & 0xFFu;
  return value >= 0x80u ? static_cast<int>(value) - 0x100 : static_cast<int>(value);
}

// The lowercase hexadecimal digit of the value's low four bits.
char to_hex(int value) {
  return "0123456789abcdef"[value & 15];
}

std::string quibUrlEncode(std::string_view text) {
  std::string encoded;
  encoded.reserve(text.size() * 3);
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (isUnreserved(c)) {
      encoded += ch;
    } else if (c == ' ') {
      encoded += '+';
    } else {
      encoded += '%';
      encoded += to_hex(c >> 4);
      encoded += to_hex(c);
    }
  }
  return encoded;
}

// '+' is a space and %XX one byte (high digit first). A '%' with fewer than
// two characters after it is dropped and a lone character after it is kept.
// The result is a C text: the first zero byte, decoded or not, ends it.
std::string quibUrlDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      c = ' ';
    } else if (c == '%') {
      if (i + 2 < text.size()) {
        // Unsigned arithmetic keeps the odd values of non-hex digits
        // well-defined: the byte is (high * 16) | low, cut to 8 bits.
        const unsigned high = static_cast<unsigned>(from_hex(text[i + 1]));
        const unsigned low = static_cast<unsigned>(from_hex(text[i + 2]));
        c = static_cast<char>(static_cast<unsigned char>(((high << 4) | low) & 0xFFu));
        i += 2;
      } else if (i + 1 < text.size()) {
        c = text[++i];
      } else {
        break;
      }
    }
    if (c == '\0') break;
    decoded += c;
  }
  return decoded;
}
