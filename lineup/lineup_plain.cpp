// Plain-text channel source: one channel a line, "name|number|altNumber".
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>

#include "lineup/lineup_internal.h"

namespace {

// Separator of the fields of a channel line.
constexpr std::string_view delimiter = "|";

// Lines are read in pieces of at most 255 bytes (the newline included); a
// longer line is handled as several lines.
constexpr int kLineBufferSize = 256;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The next field of rest, split as strtok splits: separators before the field
// are skipped (so runs of them count as one), and the separator after it is
// consumed. None when only separators are left.
std::optional<std::string_view> nextField(std::string_view& rest) {
  const std::size_t start = rest.find_first_not_of(delimiter);
  if (start == std::string_view::npos) {
    rest = {};
    return std::nullopt;
  }
  rest.remove_prefix(start);
  const std::size_t end = rest.find_first_of(delimiter);
  if (end == std::string_view::npos) {
    const std::string_view field = rest;
    rest = {};
    return field;
  }
  const std::string_view field(rest.data(), end);
  rest.remove_prefix(end + 1);
  return field;
}

// White space as the C library's isspace sees it in the C locale.
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The number at the start of text, read as atoi reads it (leading white
// space, an optional sign, then digits up to the first other character; no
// digits give 0), stored as its low 16 bits. Beyond the 32-bit int range,
// where atoi itself is undefined, the value saturates at INT32_MAX or
// INT32_MIN first, as the recorder's 32-bit C library does: "99999999999"
// gives -1 and "-99999999999" gives 0.
int16_t fieldNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // The magnitude stops growing just past the int range, so it cannot
  // overflow however many digits follow.
  constexpr int64_t kMagnitudeLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min(magnitude * 10 + (text[i] - '0'), kMagnitudeLimit);
  }
  const int64_t value =
      negative ? -magnitude : std::min(magnitude, int64_t{std::numeric_limits<int32_t>::max()});
  return lineupInt16FromBits(static_cast<uint16_t>(static_cast<uint64_t>(value) & 0xFFFFu));
}

}  // namespace

// Reads the file piece by piece: a piece that starts with "#" is a comment;
// any other piece with at least three fields becomes a channel (name, number,
// alternate number; further fields are ignored); pieces with fewer fields,
// empty lines among them, are skipped.
Channel* lineupReadPlain(const char* path) {
  FilePtr file(std::fopen(path, "rb"));
  if (!file) return nullptr;
  ChannelListBuilder list;
  char line[kLineBufferSize];
  while (std::fgets(line, sizeof line, file.get()) != nullptr) {
    if (line[0] == '#') continue;
    std::string_view rest(line);  // up to a NUL byte, as strtok would see it
    const std::optional<std::string_view> name = nextField(rest);
    const std::optional<std::string_view> number = nextField(rest);
    const std::optional<std::string_view> altNumber = nextField(rest);
    if (!altNumber) continue;
    if (!lineupAppendChannel(list, fieldNumber(*number), fieldNumber(*altNumber), *name)) {
      return nullptr;  // out of memory: no list this time, a later call tries again
    }
  }
  return list.head;
}
