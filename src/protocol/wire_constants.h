// Constants of the game-server wire protocol that both ends must hold alike.
// The reference server includes this header too, so the two cannot drift.
#pragma once

#include <cstdint>

namespace wire {

// Every frame opens with "TG_"; the fourth byte names the frame kind.
const char kFramePrefix[] = "TG_P";
const char kPlainKind = 'P';
const char kScrambledKind = 'E';

const int kMaxPayload = 1100;
const int kFrameBufferSize = 1200;
const int kPlainHeader = 8;      // "TG_P", client ident (LSB first)
const int kScrambledHeader = 10;  // "TG_E", check value (MSB first), length (MSB first)

const int kKeyBufferSize = 1000;
const int kChannelKeyLength = 29;

// Check value over a plain payload: h = 7777777, then for each byte b (as a
// signed 8-bit number) at index i, h += (b + 17) * 2343531 + i.
const uint32_t kCheckStart = 7777777u;
const uint32_t kCheckFactor = 2343531u;

// The channel key starts from the seeded MD5 of a 4-character text. The text
// is kept masked so that it is built at run time rather than stored.
const uint8_t kKeyTextMasked[4] = {'r' ^ 0x5A, 'W' ^ 0x5A, '7' ^ 0x5A, 'q' ^ 0x5A};
const uint8_t kKeyTextMask = 0x5A;
const uint32_t kKeySeed = 0x2F6D41C3u;

inline void BuildKeyText(char out[5]) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(kKeyTextMasked[i] ^ kKeyTextMask);
  out[4] = '\0';
}

// The two 32-bit constants the module publishes through cb codes 23 and 24.
const uint32_t kPublishedConstant1 = 0x54470C1Au;
const uint32_t kPublishedConstant2 = 0x000004FCu;

}  // namespace wire
