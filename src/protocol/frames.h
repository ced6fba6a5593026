// Frames from the game server: counted, checked and unscrambled, and relays
// unwrapped. Which handler a payload then goes to is the frame router's
// business (routing/frame_router.h).
#pragma once

#include <cstdint>

#include "channel/framing.h"
#include "tallyguard/host_interface.h"

namespace protocol {

enum class FrameVerdict {
  kPayload,  // the frame holds a payload for the module
  kIgnored,  // consumed, nothing in it for the module
  kRefused,  // refused for now: the event queue offers it again while its retries last
  // A plain frame for another ident: refused, and answered with the
  // module's own (IdentAnnouncement).
  kForeignIdent,
};

struct OpenedFrame {
  FrameVerdict verdict;
  uint8_t* payload;  // with kPayload: the payload, a NUL after it
  int32_t length;
  bool link_started;  // the first scrambled frame of this connection that checked out
};

// A frame always starts outside any relay.
void StartFrame();
// A scrambled frame ('E' at byte 3): unscrambled in place with the channel
// key (derived on first need).
[[nodiscard]] OpenedFrame OpenScrambledFrame(HostInterface* host, int32_t length, uint8_t* data);
// A plain frame ('P' at byte 3): its payload when the ident is the module's.
[[nodiscard]] OpenedFrame OpenPlainFrame(int32_t length, uint8_t* data);
// The client ident with the player's GUID ('J'), always framed plain.
[[nodiscard]] Reply IdentAnnouncement();

// A relay (0x03 payload): the server wraps a payload in the GUID it
// assigned, scrambled with key C. payload is set when the GUID matches and
// the nesting is not too deep; the router dispatches it and then calls
// EndRelay with the same record.
struct OpenedRelay {
  bool answered;   // false from a server too old for relays: no reply, nothing kept
  int32_t result;  // wire::kRelayNoGuid, kRelayWrongGuid or kRelayDone
  uint8_t* payload;
  int32_t length;
};
[[nodiscard]] OpenedRelay OpenRelay(HostInterface* host, uint8_t* argument, int32_t length);
// Keeps the relay's result for request W and gives the 'T' reply.
[[nodiscard]] Reply EndRelay(const OpenedRelay& relay);

// The drop request (0x08 payload): passed on to the host's keyword service
// when its text is the expected one.
void HandleDropRequest(HostInterface* host, const char* text);

}  // namespace protocol
