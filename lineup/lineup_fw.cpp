// Firmware channel source: the recorder's binary channel file, an 8-byte
// header followed by fixed-size little-endian records.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "lineup/lineup_internal.h"

namespace {

// Two 4-byte header words precede the records; nothing in them is used.
constexpr std::size_t kHeaderWordSize = 4;

// Offsets within a record.
constexpr std::size_t kNumberOffset = 0;
constexpr std::size_t kAltNumberOffset = 2;
constexpr std::size_t kNameOffset = 8;
constexpr std::size_t kExclusionOffset = 76;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Reads one header word and discards it. A short read is not an error: it
// only leaves no record to read.
void skipHeaderWord(std::FILE* file) {
  unsigned char word[kHeaderWordSize];
  [[maybe_unused]] const std::size_t bytesRead = std::fread(word, 1, sizeof word, file);
}

// The little-endian 16-bit field at offset of a record, byte by byte, so
// that neither the host's byte order nor alignment matters.
uint16_t fieldBits(const unsigned char* record, std::size_t offset) {
  return static_cast<uint16_t>(record[offset] | (record[offset + 1] << 8));
}

// The name at offset 8 of a record of size bytes: up to the first NUL byte,
// never past the record's end. (In a listed record the zero exclusion field
// at 76 ends the name there at the latest.)
std::string_view recordName(const unsigned char* record, std::size_t size) {
  const char* start = reinterpret_cast<const char*>(record) + kNameOffset;
  const std::size_t room = size - kNameOffset;
  const void* nul = std::memchr(start, '\0', room);
  return {start, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - start) : room};
}

}  // namespace

// Reads whole records to the end of the file; bytes after the last whole
// record are ignored, and a record whose exclusion field is nonzero is left
// out. The header is read and discarded whatever it holds.
template <std::size_t recordSize>
Channel* lineupReadFirmware(const char* path) {
  static_assert(recordSize >= kExclusionOffset + 2, "a record holds all fields read");
  FilePtr file(std::fopen(path, "rb"));
  if (!file) return nullptr;
  skipHeaderWord(file.get());
  skipHeaderWord(file.get());
  ChannelListBuilder list;
  std::array<unsigned char, recordSize> record;
  while (std::fread(record.data(), 1, record.size(), file.get()) == record.size()) {
    if (fieldBits(record.data(), kExclusionOffset) != 0) continue;
    if (!lineupAppendChannel(list, lineupInt16FromBits(fieldBits(record.data(), kNumberOffset)),
                             lineupInt16FromBits(fieldBits(record.data(), kAltNumberOffset)),
                             recordName(record.data(), record.size()))) {
      return nullptr;  // out of memory: no list this time, a later call tries again
    }
  }
  return list.head;
}

template Channel* lineupReadFirmware<1016>(const char* path);
template Channel* lineupReadFirmware<1080>(const char* path);
