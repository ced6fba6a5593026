// Screen capture: the primary surface through the platform's display (or the
// host's pixel routine after five failed attempts), sampled down and placed
// on a canvas with a grey frame and five lines of text under it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "screenshot/screenshot_state.h"
#include "tallyguard/host_interface.h"

namespace screenshot {

// Attempts of the display route before the host's route is tried.
const int32_t kDisplayAttempts = 5;
// Bytes of a capture's buffers written in one cycle: the copy buffer is
// cleared ahead of the copy, and rows are converted and composed, in slices
// of about this size (the surface rows themselves are copied under one
// lock, so the picture does not tear). Fresh memory costs a page fault per
// 4 KiB when first written, so the slices spread those too.
const int32_t kCaptureSliceBytes = 128 * 1024;
// Samples a server request may ask for (width x height / rate squared).
const int64_t kServerSampleBudget = 82000;

// Sets up the display and reads the palette ahead of the first screenshot.
void PrepareCaptureDevice(HostInterface* host);
// Once per cycle: whether the game window is in front, and the counters.
void UpdateForegroundStatistics(uint32_t now);
// The capture state of a slot: on success the slot goes on to encoding; a
// failed display route stays in capture for the next cycle until the fifth
// attempt; a server request that fails its check is dropped.
void CaptureScreenshot(HostInterface* host, ScreenshotSlot& slot, uint32_t now);

// Readies the memory the capture's next step writes (screenshot/memory.h):
// true when it is ready; otherwise one share of it is readied and false.
bool CaptureMemoryReady(CaptureImage& capture);

// The host's pixels (width x height of 3 bytes, bottom row first) sampled
// every rate pixels into the capture's raw rows, top side up, as the display
// route samples the screen; the canvas then shows them. false without memory.
bool SampleHostPixels(CaptureImage& capture, const uint8_t* pixels, int32_t width, int32_t height, int32_t rate);

// Frees the slot's capture and clears the slot (free state).
void ClearScreenshotSlot(ScreenshotSlot& slot);

}  // namespace screenshot
