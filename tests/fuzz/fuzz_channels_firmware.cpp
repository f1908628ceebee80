// The firmware's binary channel readers, for both record sizes: the input is
// the channel file. The list each yields must be the listed records of the
// file, read straight from its bytes.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "lineup/lineup_internal.h"
#include "tests/fuzz/channel_store.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t kHeaderSize = 8;
constexpr size_t kNameOffset = 8;
constexpr size_t kExclusionOffset = 76;
// A listed record's zero exclusion field ends its name there at the latest.
constexpr size_t kMaxListedName = kExclusionOffset - kNameOffset;

int16_t field(const unsigned char* record, size_t offset) {
  return lineupInt16FromBits(static_cast<uint16_t>(record[offset] | record[offset + 1] << 8));
}

template <size_t recordSize>
void checkReader(const std::string& path, const unsigned char* data, size_t size) {
  const Channel* channel = lineupReadFirmware<recordSize>(path.c_str());
  for (size_t at = kHeaderSize; size >= recordSize && at <= size - recordSize; at += recordSize) {
    const unsigned char* record = data + at;
    if (record[kExclusionOffset] != 0 || record[kExclusionOffset + 1] != 0) continue;
    fuzzCheck(channel != nullptr, "a channel for every listed record");
    fuzzCheck(channel->number == field(record, 0) && channel->altNumber == field(record, 2),
              "a channel's numbers are the record's little-endian fields");
    const char* name = reinterpret_cast<const char*>(record + kNameOffset);
    const size_t length = strnlen(name, recordSize - kNameOffset);
    fuzzCheck(length <= kMaxListedName, "a listed record's name ends before its exclusion field");
    fuzzCheck(std::string_view(channel->name) == std::string_view(name, length),
              "a channel's name is the record's name");
    channel = channel->next;
  }
  fuzzCheck(channel == nullptr, "no channel beyond the listed records");
  fuzzClearChannels();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzzScratchFile("dtv_channel.txt");
  fuzzWriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
  checkReader<1016>(path, data, size);
  checkReader<1080>(path, data, size);
  return 0;
}
