// SHA-1 message digest (FIPS 180-1) over a message fed in pieces.
#pragma once

#include <cstdint>

// The caller owns the record; the module allocates nothing.
struct SHA1State {
  uint32_t digest[5];      // H0..H4; the digest after a successful result
  uint32_t lengthLow;      // message length in bits, low word
  uint32_t lengthHigh;     // message length in bits, high word
  uint8_t block[64];       // bytes not yet compressed
  int32_t blockIndex;      // bytes in block, 0..64
  int32_t computed;        // 1 once the result has been produced
  int32_t corrupted;       // 1 after misuse or a message too long
};

void SHA1Reset(SHA1State& state);
void SHA1Input(SHA1State& state, const uint8_t* bytes, uint32_t length);
// 1 when the digest words hold the digest, 0 when the record is corrupted.
int SHA1Result(SHA1State& state);
