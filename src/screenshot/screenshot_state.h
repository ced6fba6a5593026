// State of the screenshot subsystem: the request slots and the options of
// local screenshots.
#pragma once

#include <cstdint>

const int kScreenshotSlots = 12;

// One request, from the moment it is made until it is uploaded or saved.
struct ScreenshotSlot {
  uint32_t sequence = 0;  // 0: the slot holds no request
  char tag = 0;           // letter that names the upload in restarts
  int32_t restart_count = 0;
  int32_t next_piece = 0;  // the next piece to upload
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

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern ScreenshotState* const g_screenshot_state;
inline ScreenshotState& Screenshots() { return *g_screenshot_state; }
