// Private to the channel library and its tests: the readers behind
// getChannels and the list they build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lineup/lineup.h"

// A list under construction: nodes are appended at the tail, so the list
// keeps the order in which they were read.
struct ChannelListBuilder {
  Channel* head = nullptr;
  Channel* tail = nullptr;
};

// Appends a node with a copy of name. Nodes and names are owned by the
// library and stay in place until it is unloaded (at process exit). Returns
// false, leaving the list unchanged, when memory runs out.
bool lineupAppendChannel(ChannelListBuilder& list, int16_t number, int16_t altNumber,
                         std::string_view name);

// The signed 16-bit number whose two's-complement bits are bits.
constexpr int16_t lineupInt16FromBits(uint16_t bits) {
  return bits < 0x8000u ? static_cast<int16_t>(bits)
                        : static_cast<int16_t>(static_cast<int32_t>(bits) - 0x10000);
}

// Reads the plain-text channel file at path into a new list and returns its
// head, or null when the file is missing or holds no channel.
Channel* lineupReadPlain(const char* path);

// Reads the firmware's binary channel file at path, with records of
// recordSize bytes, into a new list and returns its head, or null when the
// file is missing or yields no listed record. Built for the two record sizes
// the firmware writes.
template <std::size_t recordSize>
Channel* lineupReadFirmware(const char* path);
extern template Channel* lineupReadFirmware<1016>(const char* path);
extern template Channel* lineupReadFirmware<1080>(const char* path);
