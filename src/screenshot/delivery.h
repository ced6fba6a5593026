// Screenshot requests: the twelve slots and their steps, the upload to the
// game server in 1024-byte pieces, and the player's screenshots saved under
// "scrnshot" with a page and a line in "tgsslog.htm".
#pragma once

#include <cstdint>

#include "screenshot/screenshot_state.h"
#include "tallyguard/host_interface.h"

namespace screenshot {

// Forgets every request (a new game server).
void FreeScreenshotSlots();
// 1 when the first slot holds no request.
int FirstScreenshotSlotFree();

// The sequence counter the server hello sets (0 until then).
uint32_t ScreenshotSequence();
void SetScreenshotSequence(uint32_t sequence);

// Screenshot requests (kind 'I': check value, request number, W, H, X, Y,
// Srate) and send lists (kind 0x01: sequence number, send list).
void HandleScreenshotPacket(HostInterface* host, uint8_t kind, uint8_t* argument, int32_t length, uint32_t now);
// A restart ('O' payload): "PNG", the tag letter of the uploads to restart,
// then "-" (from the start) or the number of the piece to go on from.
void HandleScreenshotRestart(const uint8_t* argument, int32_t length);
// Queues a screenshot that the server asked for (nothing before the server's
// hello); with_send_list also sends it once it is ready.
void QueueServerScreenshot(HostInterface* host, uint32_t request_number, int with_send_list, uint32_t now);
// A screenshot the player asked for: the first word of delay_text is a delay
// in seconds ("0" for tg_GetSs). An empty text, or one that begins with a
// blank, queues nothing.
void QueueLocalScreenshot(const char* delay_text, uint32_t now);
// One step for every slot that is due; once per cycle while connected.
void ServeScreenshots(HostInterface* host, uint32_t now);

// Readies a share of the memory that a step waits for, if one does; for the
// calls between cycles, so that memory fresh from the system is readied a
// frame at a time rather than a cycle at a time.
void ReadyScreenshotMemory();

}  // namespace screenshot
