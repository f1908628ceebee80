// SHA-1 message digest (FIPS 180-1) over a message fed in pieces.
//
// The record is the caller's; nothing is allocated here. Misuse (input after
// the result, or after corruption) and a message longer than 2^64 - 1 bits
// only set the corrupted flag, which SHA1Result then reports.
#include "sha1/sha1.h"

namespace {

constexpr uint32_t kInitialDigest[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                        0xC3D2E1F0u};
constexpr uint32_t kRoundConstants[4] = {0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xCA62C1D6u};
constexpr int32_t kBlockSize = 64;
// Bytes 56..63 of the last block hold the message length.
constexpr int32_t kLengthOffset = 56;

constexpr uint32_t rotateLeft(uint32_t word, int bits) {
  return (word << bits) | (word >> (32 - bits));
}

// Compresses the 64-byte block into the digest words and empties the block.
void SHA1ProcessMessageBlock(SHA1State& state) {
  uint32_t schedule[80];
  for (int t = 0; t < 16; ++t) {
    schedule[t] = static_cast<uint32_t>(state.block[t * 4]) << 24 |
                  static_cast<uint32_t>(state.block[t * 4 + 1]) << 16 |
                  static_cast<uint32_t>(state.block[t * 4 + 2]) << 8 |
                  static_cast<uint32_t>(state.block[t * 4 + 3]);
  }
  for (int t = 16; t < 80; ++t) {
    schedule[t] =
        rotateLeft(schedule[t - 3] ^ schedule[t - 8] ^ schedule[t - 14] ^ schedule[t - 16], 1);
  }

  uint32_t a = state.digest[0];
  uint32_t b = state.digest[1];
  uint32_t c = state.digest[2];
  uint32_t d = state.digest[3];
  uint32_t e = state.digest[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f;
    if (t < 20) {
      f = (b & c) | (~b & d);
    } else if (t < 40) {
      f = b ^ c ^ d;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
    } else {
      f = b ^ c ^ d;
    }
    uint32_t temp = rotateLeft(a, 5) + f + e + schedule[t] + kRoundConstants[t / 20];
    e = d;
    d = c;
    c = rotateLeft(b, 30);
    b = a;
    a = temp;
  }
  state.digest[0] += a;
  state.digest[1] += b;
  state.digest[2] += c;
  state.digest[3] += d;
  state.digest[4] += e;
  state.blockIndex = 0;
}

// Appends the byte 0x80, zero bytes and the 64-bit big-endian bit length, and
// compresses the last block (or the last two, when the length no longer fits).
void SHA1PadMessage(SHA1State& state) {
  state.block[state.blockIndex++] = 0x80;
  if (state.blockIndex > kLengthOffset) {
    while (state.blockIndex < kBlockSize) state.block[state.blockIndex++] = 0;
    SHA1ProcessMessageBlock(state);
  }
  while (state.blockIndex < kLengthOffset) state.block[state.blockIndex++] = 0;
  const uint32_t words[2] = {state.lengthHigh, state.lengthLow};
  for (int w = 0; w < 2; ++w) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      state.block[state.blockIndex++] = static_cast<uint8_t>(words[w] >> shift);
    }
  }
  SHA1ProcessMessageBlock(state);
}

}  // namespace

void SHA1Reset(SHA1State& state) {
  for (int i = 0; i < 5; ++i) state.digest[i] = kInitialDigest[i];
  state.lengthLow = 0;
  state.lengthHigh = 0;
  state.blockIndex = 0;
  state.computed = 0;
  state.corrupted = 0;
}

void SHA1Input(SHA1State& state, const uint8_t* bytes, uint32_t length) {
  if (length == 0) return;
  if (state.computed || state.corrupted) {
    state.corrupted = 1;
    return;
  }
  for (uint32_t i = 0; i < length && !state.corrupted; ++i) {
    state.block[state.blockIndex++] = bytes[i];
    state.lengthLow += 8;
    if (state.lengthLow == 0) {
      ++state.lengthHigh;
      if (state.lengthHigh == 0) state.corrupted = 1;
    }
    if (state.blockIndex == kBlockSize) SHA1ProcessMessageBlock(state);
  }
}

int SHA1Result(SHA1State& state) {
  if (state.corrupted) return 0;
  if (!state.computed) {
    SHA1PadMessage(state);
    state.computed = 1;
  }
  return 1;
}
