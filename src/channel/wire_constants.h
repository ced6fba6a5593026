// Constants of the game-server wire protocol that both ends must hold alike.
// The reference server includes this header too, so the two cannot drift.
// Texts marked "built at run time" are kept masked and unmasked on use.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace wire {

// Every frame opens with "TG_"; the fourth byte names the frame kind.
const char kFramePrefix[] = "TG_P";
const char kPlainKind = 'P';
const char kScrambledKind = 'E';

const int kMaxPayload = 1100;
const int kFrameBufferSize = 1200;
const int kPlainHeader = 8;       // "TG_P", client ident (LSB first)
const int kScrambledHeader = 10;  // "TG_E", check value (MSB first), length (MSB first)

const int kKeyBufferSize = 1000;
const int kChannelKeyLength = 29;

// Check value over a plain payload: h = 7777777, then for each byte b (as a
// signed 8-bit number) at index i, h += (b + 17) * 2343531 + i.
const uint32_t kCheckStart = 7777777u;
const uint32_t kCheckFactor = 2343531u;

const uint32_t kKeySeed = 0x2F6D41C3u;
const uint8_t kMask = 0x5A;

// The two 32-bit constants the module publishes through cb codes 23 and 24.
const uint32_t kPublishedConstant1 = 0x54470C1Au;
const uint32_t kPublishedConstant2 = 0x000004FCu;

// This module's version, as the hello compares it (1276 = 1.276).
const int32_t kClientVersion = TG_MODULE_VERSION;
// Relays are honoured from this server version on.
const int32_t kFirstRelayServerVersion = 1092;

// Relay results.
const int32_t kRelayNoGuid = 40001;
const int32_t kRelayWrongGuid = 40002;
const int32_t kRelayDone = 40003;

// Words built at run time. Each is stored masked with kMask; the formats
// they go into stay literal in the code, so the compiler checks them.
enum class Text {
  kKeySource,       // 4 characters digested into the channel key
  kNoKey,           // the key event's answer when no key buffer can be had
  kGameCommandKey,  // keyword of the host's game-command operation
  kDropText,        // payload 0x08: the text that must match ...
  kDropKeyword,     // ... and the keyword it is passed under
  kServerWord,      // the version notice's opening words
  kWarningCommand,  // ShowWarning's on-screen command word
  kHostReport,      // the periodic host report payload
  kCvarWord,        // violation texts: the opening word ...
  kMustBe,          // ... and the demand of kind in
  kMustNotBe,       // kind out with equal bounds
  kMustBeOutside,   // kind out
  kMustInclude,     // kind include
  kMustNotInclude,  // kind exclude
  kCount
};

// Writes the unmasked text into out (size bytes, always terminated) and
// gives out.
const char* Unmask(Text which, char* out, int size);

}  // namespace wire
