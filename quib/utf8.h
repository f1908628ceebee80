// Well-formed UTF-8 (RFC 3629), shared by the JSON writer and parser.
#pragma once

#include <cstddef>
#include <string_view>

// The length (2 to 4) of the well-formed multi-byte UTF-8 sequence that
// starts at text[at], or 0 when the bytes there are not one: an overlong
// form, an encoded surrogate, a code point above U+10FFFF, a stray
// continuation byte, an invalid lead byte or a sequence cut short. text[at]
// must be 0x80 or above (ASCII is one byte and needs no check).
inline size_t quibUtf8Length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  // The range of the second byte narrows for the leads whose shortest
  // sequences would be overlong, surrogates or beyond U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}
