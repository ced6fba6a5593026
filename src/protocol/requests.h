// Answers to the game server's questions about the player's configuration
// ('B' payloads).
#pragma once

#include <cstdint>

#include "channel/framing.h"
#include "tallyguard/host_interface.h"

namespace protocol {

// Answers request subtype (7 to 124) with its argument (a NUL follows it).
// The registered names (I) and the checks' subtypes are answered by their
// own parts; the frame router sends them there.
// Gives the answer for the router to send.
[[nodiscard]] Reply HandleServerRequest(HostInterface* host, uint8_t subtype, uint8_t* argument, int32_t length,
                                        uint32_t now);

// The reply kind ('M' or 'L') with the cvar's name and quoted value, to go
// 4 ms from now. A protected name ("pass" or "cdkey" in it) gets no reply.
[[nodiscard]] Reply CvarValueReply(HostInterface* host, const char* name, char kind);

// True for a cvar name whose value is never sent: it contains "pass" or
// "cdkey" in any letter case.
bool IsProtectedName(const char* name);

}  // namespace protocol
