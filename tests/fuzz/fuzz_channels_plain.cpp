// The plain-text channel reader: the input is the channel file. The list it
// yields must be the one that the C library's fgets, strtok and strtoll make
// of the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "lineup/lineup_internal.h"
#include "tests/fuzz/channel_store.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The reader's line buffer, the newline included.
constexpr size_t kPieceSize = 255;

struct Expected {
  int16_t number;
  int16_t altNumber;
  std::string name;
};

// atoi saturated at the 32-bit limits, cut to its low 16 bits.
int16_t number16(const char* text) {
  long long value = std::strtoll(text, nullptr, 10);
  if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) value = std::numeric_limits<int32_t>::min();
  return lineupInt16FromBits(static_cast<uint16_t>(static_cast<uint64_t>(value) & 0xFFFFu));
}

std::vector<Expected> expectedChannels(std::string_view file) {
  std::vector<Expected> channels;
  while (!file.empty()) {
    // One fgets piece: up to the newline, at most kPieceSize bytes.
    size_t length = std::min(file.find('\n'), file.size() - 1) + 1;
    length = std::min(length, kPieceSize);
    std::string piece(file.substr(0, length));
    file.remove_prefix(length);
    if (piece[0] == '#') continue;
    char* state = nullptr;
    const char* name = strtok_r(piece.data(), "|", &state);
    const char* number = name ? strtok_r(nullptr, "|", &state) : nullptr;
    const char* altNumber = number ? strtok_r(nullptr, "|", &state) : nullptr;
    if (altNumber == nullptr) continue;
    channels.push_back({number16(number), number16(altNumber), name});
  }
  return channels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const std::string path = fuzzScratchFile("dtv_channels.info");
  fuzzWriteFile(path, file);
  const std::vector<Expected> expected = expectedChannels(file);
  const Channel* channel = lineupReadPlain(path.c_str());
  fuzzCheck((channel == nullptr) == expected.empty(), "a list exactly when a line is a channel");
  for (const Expected& want : expected) {
    fuzzCheck(channel != nullptr, "as many channels as lines that are channels");
    fuzzCheck(channel->number == want.number && channel->altNumber == want.altNumber,
              "a channel's numbers read as atoi reads them");
    fuzzCheck(channel->name == want.name, "a channel's name is its first field");
    channel = channel->next;
  }
  fuzzCheck(channel == nullptr, "no channel beyond the lines that are channels");
  fuzzClearChannels();
  return 0;
}
