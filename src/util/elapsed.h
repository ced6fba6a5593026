// The elapsed-time rule for the 32-bit millisecond tick.
#pragma once

#include <cstdint>

// Milliseconds from earlier to later, taken in 32-bit arithmetic so that the
// wrap of the tick counter does no harm. A stored time up to 5 s in the
// future counts as 0; one further ahead counts as very old (a large positive
// value), so a timer stamped far in the future fires at once.
inline int32_t ElapsedMs(uint32_t later, uint32_t earlier) {
  int32_t d = static_cast<int32_t>(later - earlier);
  if (d >= 0) return d;
  if (d > -5000) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(d) + 2147483648u);
}
