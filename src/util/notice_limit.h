// The pace of a notice that strangers on the network can cause at any rate:
// at most kNoticesPerSecond of one kind in any 1000 ms, the rest counted so
// that one line can tell how many were left out. The printing is the
// console's (ConsolePrintLimited); the owner of a kind of notice keeps one
// NoticeLimit for it.
#pragma once

#include <cstdint>

#include "util/elapsed.h"

const int kNoticesPerSecond = 3;

struct NoticeLimit {
  uint32_t second_start = 0;  // tick the current second began; 0: none yet
  int printed = 0;            // notices shown in it
  int left_out = 0;           // notices counted instead
};

// Once the second is over: how many notices were left out in it (0: none);
// a new second then begins with the next notice.
inline int NoticesLeftOut(NoticeLimit& limit, uint32_t now) {
  if (limit.second_start == 0 || ElapsedMs(now, limit.second_start) < 1000) return 0;
  const int left_out = limit.left_out;
  limit = NoticeLimit();
  return left_out;
}

// True when one more notice may be shown now; otherwise it is counted as
// left out.
inline bool NoticeAllowed(NoticeLimit& limit, uint32_t now) {
  if (limit.second_start == 0) limit.second_start = now != 0 ? now : 1;
  if (limit.printed >= kNoticesPerSecond) {
    ++limit.left_out;
    return false;
  }
  ++limit.printed;
  return true;
}
