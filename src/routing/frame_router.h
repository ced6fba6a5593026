// The frame router: frames from the game server and datagrams from master
// servers, turned into calls of the part each payload is for.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Checks one frame and dispatches its payload. Gives 1 when the frame was
// consumed (also when it was ignored) and 0 when it is refused for now: the
// event queue offers it again while its retries last. data must be writable
// and followed by a NUL (the event queue's copy is).
int32_t ReceiveFrame(HostInterface* host, int32_t length, uint8_t* data, uint32_t now);

// A datagram from the module's own socket. Anyone who can reach the port
// can send one, so only the kinds master servers send are taken; frames of
// the game server count only when they come through the game (cb code 13),
// and anything else is dropped without a word.
void ReceiveSocketDatagram(HostInterface* host, int32_t length, const uint8_t* data, uint32_t now);

// Acts on one payload by its first byte. payload[length] must be a NUL, so
// that text payloads read as C strings. Always 1.
int32_t DispatchPayload(HostInterface* host, int32_t length, uint8_t* payload, uint32_t now);
