// Screenshot requests, their upload to the game server and local saving.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

const int kScreenshotSlots = 12;

// One request, from the moment it is made until it is uploaded or saved.
struct ScreenshotSlot {
  uint32_t sequence = 0;     // 0: the slot holds no request
  char tag = 0;              // letter that names the upload in restarts
  int32_t restart_count = 0;
  int32_t next_piece = 0;    // the next piece to upload
};

// Size and placement of local screenshots (tg_SsOptions): the captured
// area is width x height pixels around x %, y % of the screen, sampled every
// srate pixels.
struct ScreenshotOptions {
  int32_t width = 640;
  int32_t height = 480;
  int32_t x = 50;
  int32_t y = 50;
  int32_t srate = 1;
};

struct ScreenshotState {
  ScreenshotSlot slots[kScreenshotSlots];
  ScreenshotOptions options;
};

void FreeScreenshotSlots();
// Screenshot requests (kind 'I') and send lists (kind 0x01) from the server.
void HandleScreenshotPacket(HostInterface* host, uint8_t kind, uint8_t* argument, int32_t length);
// Queues a screenshot that the server asked for.
void QueueServerScreenshot(HostInterface* host, int32_t request, const char* send_list);
void ServeScreenshots(HostInterface* host, uint32_t now);
// A screenshot the player asked for (tg_GetSs), saved under "scrnshot".
void QueueLocalScreenshot(uint32_t delay_ms, const char* request);
