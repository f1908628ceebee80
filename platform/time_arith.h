// Whole-second time arithmetic shared by the time conversions and the timer rules.
#pragma once

#include <cstdint>

// Seconds in a calendar day without a daylight-saving change.
constexpr int64_t kSecondsPerDay = 86400;

// Division that rounds towards negative infinity, for days and weeks before
// 1970 as after it.
constexpr int64_t floorDiv(int64_t a, int64_t b) {
  const int64_t quotient = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? quotient - 1 : quotient;
}

// The device computes in 32-bit two's complement; the host does the same
// arithmetic in 64 bits and wraps the result back, so that no input can
// overflow a signed type.
constexpr int32_t wrap32(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}
