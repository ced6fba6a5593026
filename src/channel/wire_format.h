// Frames of the game-server protocol, shared by the module and the reference
// server, so that the two ends build and check them by the same rules.
//
// Plain frame (n = payload length, n + 8 bytes):
//   0  3  "TG_"
//   3  1  'P'
//   4  4  client ident, least significant byte first
//   8  n  payload
// Scrambled frame (n + 10 bytes):
//   0  3  "TG_"
//   3  1  'E'
//   4  4  check value over the plain payload, most significant byte first
//   8  2  n, most significant byte first
//  10  n  payload, byte i XORed with channel key character i mod key length
#pragma once

#include <cstdint>

#include "channel/wire_constants.h"

namespace wire {

// The check value of a plain payload: h = 7777777, then for each byte b (as a
// signed 8-bit number) at index i, h += (b + 17) * 2343531 + i.
uint32_t CheckValue(const uint8_t* payload, int32_t length);

// XORs byte i with key[i mod key length]; an empty key changes nothing.
void XorWithKey(uint8_t* bytes, int32_t length, const char* key);

// Writes the 29-character channel key for the key parameters A to D into out
// (30 bytes). A character that comes out as 0 is stored as "?".
void DeriveKeyText(int32_t a, int32_t b, int32_t c, int32_t d, char* out);

// Builds a frame into out (kFrameBufferSize bytes, zeroed first) from a
// payload of 1 to kMaxPayload bytes; gives the frame length.
int32_t BuildPlainFrame(uint32_t ident, const uint8_t* payload, int32_t length, uint8_t* out);
int32_t BuildScrambledFrame(const char* key, const uint8_t* payload, int32_t length, uint8_t* out);

// The ident of a plain frame. false when the frame is shorter than its header.
bool ReadPlainIdent(const uint8_t* frame, int32_t length, uint32_t* ident);

// Checks a scrambled frame and unscrambles its payload in place. Gives the
// payload length (the payload starts at kScrambledHeader) when the frame is
// whole and its check value matches, else -1; a refused frame is scrambled
// back, so that it stays exactly as it came.
int32_t OpenScrambledFrame(uint8_t* frame, int32_t length, const char* key);

// The relay scramble (its own inverse): byte i ^= (7 + i) * (C & 0xFF) + guid[i mod len].
void ScrambleRelay(uint8_t* bytes, int32_t length, int32_t c, const char* guid);

}  // namespace wire
