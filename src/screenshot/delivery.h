// Screenshot requests, their upload to the game server and local saving.
#pragma once

#include <cstdint>

#include "screenshot/screenshot_state.h"
#include "tallyguard/host_interface.h"

// Forgets every request (a new game server).
void FreeScreenshotSlots();
// 1 when the first slot holds no request.
int FirstScreenshotSlotFree();

// Screenshot requests (kind 'I') and send lists (kind 0x01) from the server.
void HandleScreenshotPacket(HostInterface* host, uint8_t kind, uint8_t* argument, int32_t length);
// A restart ('O' payload): "PNG", the tag letter of the uploads to restart,
// then "-" (from the start) or the number of the piece to go on from.
void HandleScreenshotRestart(const uint8_t* argument, int32_t length);
// Queues a screenshot that the server asked for.
void QueueServerScreenshot(HostInterface* host, int32_t request, const char* send_list);
void ServeScreenshots(HostInterface* host, uint32_t now);
// A screenshot the player asked for (tg_GetSs), saved under "scrnshot".
void QueueLocalScreenshot(uint32_t delay_ms, const char* request);

// The options of local screenshots (tg_SsOptions).
const ScreenshotOptions& LocalScreenshotOptions();
// Takes the options when they are valid: width and height 10 or more,
// x and y 0 to 100 %, srate 1 to 4. false (nothing changes) otherwise.
bool SetLocalScreenshotOptions(const ScreenshotOptions& options);
