// State of the screenshot subsystem: the twelve request slots with their
// captures, the options of local screenshots, the server's parameters, the
// display and the foreground statistics.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "platform/platform.h"
#include "util/seeded_md5.h"
#include "util/sliced_deflate.h"

const int kScreenshotSlots = 12;

// Where a request stands; one step per cycle.
enum SlotState : int32_t {
  kSlotFree = 0,
  kSlotCapture = 1,
  kSlotEncoding = 2,
  kSlotSending = 3,
  kSlotSaving = 4,
  kSlotDone = 99,
};

// How far the capture has come: the area is planned, its copy buffer
// cleared over cycles, the surface rows copied under one lock and converted
// over cycles, then the canvas is sized and its rows are written over cycles
// too.
enum CapturePhase : int32_t {
  kCaptureNew = 0,
  kCaptureClearing,
  kCaptureConverting,
  kCaptureComposing,
  kCaptureComposingRows
};

// How far the encoding of a capture has come: it spreads over cycles.
enum EncodeStage : int32_t { kEncodeNotStarted = 0, kEncodeDeflating, kEncodeHashing, kEncodeDone };

// One capture, owned by its slot: the sampled pixels, the composed canvas
// (later the PNG) and the facts that the text band shows. Made by value
// initialisation, so every field starts at zero.
struct CaptureImage {
  uint8_t* raw;  // sampled rows, 1 + 3 x sampled width bytes each; later the compressed data
  int32_t raw_capacity;
  uint8_t* canvas;  // composed rows in the same layout; later the PNG
  int32_t canvas_capacity;
  int32_t canvas_size;  // bytes of the canvas, then of the PNG
  uint8_t* work;        // surface rows or the host's pixels
  int32_t work_capacity;
  char text[1024];        // the annotation of the PNG's text chunk
  char lines[5][160];     // the text band
  char error[96];         // why a route failed
  int32_t width, height;  // the area asked for
  int32_t x, y;           // its place, in percent
  int32_t srate;          // the sample rate asked for
  int32_t window_width, window_height;
  int32_t offset_x, offset_y;
  int32_t captured_width, captured_height;  // the area read
  int32_t sampled_width, sampled_height;
  int32_t margin_top, margin_left, margin_right, margin_bottom;
  int32_t canvas_width, canvas_height;
  int32_t bits_per_pixel, pitch;
  int32_t sample_rate;
  int direct_draw;  // the DirectDraw route made the image
  int host_route;   // the host route made the image
  // Capturing in slices: the copy buffer is cleared, the surface rows are
  // copied at once, then converted, then composed, a few rows per cycle.
  int32_t capture_phase;  // CapturePhase
  int32_t work_cleared;   // bytes of the copy buffer cleared so far
  int32_t rows_converted;
  int32_t rows_composed;
  int32_t work_span;     // bytes of one copied row
  int32_t convert_step;  // bytes from one sample to the next
  // Encoding in slices: the deflate stream over the canvas, then the MD5 of
  // the PNG.
  int32_t encode_stage;
  SlicedDeflate* deflater;  // the stream's state, readied before it starts
  SeededMd5 md5;
  int32_t hashed;      // PNG bytes digested so far
  uint8_t digest[16];  // the PNG's MD5, once hashed
};

// One request, from the moment it is made until it is uploaded or saved.
struct ScreenshotSlot {
  char request[256];  // empty for the player's; the server's words otherwise
  uint32_t queued_at;
  uint32_t sequence;
  uint32_t delay_ms;
  int32_t state;  // SlotState
  uint32_t request_number;
  int32_t attempts;  // failed DirectDraw captures
  char send_list[1025];
  CaptureImage* capture;
  int64_t capture_time;             // calendar seconds
  PlatformLocalTime capture_local;  // the same, as local time (file names)
  const uint8_t* image;             // the PNG, inside the capture
  int32_t image_size;
  char image_name[256];
  uint8_t digest[16];
  char tag;  // letter that names the upload in restarts
  int32_t next_piece;
  uint32_t last_piece_at;  // 0: no piece sent yet
  int32_t restart_count;
  // Saving spreads over cycles: the picture, its page, the log line.
  int32_t save_step;
  char saved_file[64];  // "scrnshot\MMDD_NNN.png", once picked
  char saved_page[64];  // the same name ending in "htm"
};

// The parameters of the server's latest screenshot request.
struct ServerShotParameters {
  int32_t width = 640, height = 480, x = 50, y = 50, srate = 1;
  uint32_t check = 0;
  int check_given = 0;  // before any request the host's own check is used
};

struct DisplayState {
  int ready = 0;                // the display object and surface are set up
  int32_t bytes_per_pixel = 0;  // 32-bit surfaces: 3, -1, or 0 = not tested
  int in_front = 0;             // the game window is the active, shown window
  int palette_read = 0;
  uint8_t palette[256][4] = {};
  PlatformWindowFacts window = {};
};

struct ForegroundStatistics {
  uint32_t cycles = 0;
  uint32_t not_in_front = 0;
  uint32_t changes = 0;
  int counted = 0;  // a cycle has been counted (there is a previous verdict)
};

// Large blocks kept from earlier screenshots for the next (see
// screenshot/memory.h).
const int kSpareBlocks = 16;
struct SpareMemory {
  void* blocks[kSpareBlocks] = {};
  int count = 0;
  size_t bytes = 0;
};

struct ScreenshotState {
  ScreenshotSlot slots[kScreenshotSlots] = {};
  ServerShotParameters server;
  uint32_t sequence = 0;  // 0 until the server hello sets it
  uint32_t tag_counter = 0;
  uint32_t saved_files = 0;
  int readying = 0;  // a step waits for memory to be readied (screenshot/memory.h)
  DisplayState display;
  ForegroundStatistics foreground;
  SpareMemory spare;

  ScreenshotState() = default;
  ~ScreenshotState();  // frees every capture
  ScreenshotState(const ScreenshotState&) = delete;
  ScreenshotState& operator=(const ScreenshotState&) = delete;
};

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern ScreenshotState* const g_screenshot_state;
inline ScreenshotState& Screenshots() { return *g_screenshot_state; }
