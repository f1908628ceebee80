// Timer titles as text. The firmware stores whatever bytes its source gave
// (a broadcast's single-byte character set among them) while the pages are
// UTF-8: a stored title that is not UTF-8 is shown with each byte as its
// Latin-1 character, and keeps its bytes when its form is saved unchanged.
// A title that the form sends must be UTF-8 and at most 255 characters.
#include "model/title_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

bool isUtf8(std::string_view text) {
  size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
      ++at;
      continue;
    }
    // The length of the sequence and the least code point it may carry (a
    // smaller one is an overlong form).
    size_t length;
    uint32_t point, least;
    if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2, point = lead & 0x1fu, least = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3, point = lead & 0x0fu, least = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4, point = lead & 0x07u, least = 0x10000;
    } else {
      return false;
    }
    if (text.size() - at < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[at + k]);
      if ((next & 0xc0u) != 0x80u) return false;
      point = point << 6 | (next & 0x3fu);
    }
    if (point < least || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) return false;
    at += length;
  }
  return true;
}

std::string readableTitle(std::string_view stored) {
  if (isUtf8(stored)) return std::string(stored);
  std::string text;
  text.reserve(stored.size() * 2);
  for (char byte : stored) {
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x80) {
      text += byte;
    } else {
      text += static_cast<char>(0xc0u | value >> 6);
      text += static_cast<char>(0x80u | (value & 0x3fu));
    }
  }
  return text;
}

namespace {

// The characters of UTF-8 text: its bytes that do not continue a sequence.
size_t characterCount(std::string_view text) {
  size_t count = 0;
  for (char byte : text) {
    if ((static_cast<unsigned char>(byte) & 0xc0u) != 0x80u) ++count;
  }
  return count;
}

}  // namespace

std::optional<EntryRefusal> acceptTitle(std::string& title,
                                        const std::optional<std::string>& stored) {
  if (stored && title == readableTitle(*stored)) {
    title = *stored;
    return std::nullopt;
  }
  if (!isUtf8(title)) return EntryRefusal::kTitleNotUtf8;
  if (characterCount(title) > kTitleMaxCharacters) return EntryRefusal::kTitleTooLong;
  return std::nullopt;
}
