// PNG files in memory, written byte by byte (zlib only compresses).
//
// Layout (big-endian; L = text length, n = compressed length; 77 + L + n bytes):
//   0   8  signature 89 50 4E 47 0D 0A 1A 0A
//   8   4  13, "IHDR", width, height, depth, colour type, compression,
//          filter, interlace, CRC of the type and data
//   33  4  L + 8, "tEXt", keyword "Comment" and NUL, the text, CRC
//   53+L   n, "IDAT", the compressed rows, CRC
//   65+L+n 0, "IEND", CRC AE 42 60 82
#pragma once

#include <cstdint>

#include "screenshot/png_layout.h"
#include "screenshot/screenshot_state.h"
#include "tallyguard/host_interface.h"

namespace screenshot {

// One step of the CRC-32 (reflected polynomial 0xEDB88320; zlib's
// table-driven routine, several bytes a step). Chunks start from 0xFFFFFFFF
// and store the complement of the result.
uint32_t Crc32Update(uint32_t crc, int32_t length, const uint8_t* bytes);

// Writes the PNG into out (PngSize bytes). Gives the size.
int32_t WritePng(uint8_t* out, const uint8_t* compressed, int32_t n, uint32_t width, uint32_t height, const char* text,
                 uint8_t depth, uint8_t colour_type, uint8_t compression, uint8_t filter, uint8_t interlace);

// The encoding of a screenshot spreads over cycles so that no cycle carries
// more than a slice. The deflate stream (util/sliced_deflate.h) does a
// kEncodeSlices-th of the least work the whole stream can take a cycle: its
// work so far and a unit for every byte still to match (a unit is about a
// byte of a flat image; the matches of a grainy one cost several), at
// least EncodeSliceBytes and at most twice that. The PNG is digested kHashSliceBytes a
// cycle. Before the stream starts, the memory it writes (its output and its
// state) is made ready a few pages a cycle (screenshot/memory.h).
const int32_t kEncodeSlices = 32;
const int32_t kEncodeSliceMinBytes = 8 * 1024;
const int32_t kEncodeSliceMaxBytes = 64 * 1024;
const int32_t kHashSliceBytes = 64 * 1024;

// Readies the memory the deflate stream writes before it starts: true when
// it is ready (or none could be had); otherwise one share is readied and
// false.
bool EncodeMemoryReady(CaptureImage& capture);

// The least deflate work of one cycle for a canvas of canvas_size bytes:
// canvas_size / kEncodeSlices, at least kEncodeSliceMinBytes and at most
// kEncodeSliceMaxBytes.
int32_t EncodeSliceBytes(int32_t canvas_size);

// The encoding state of a slot, one slice per call: deflates the canvas
// (the stream is the one compress() makes at the default level), writes the
// PNG in place of the canvas, digests it and, for a server request, tells
// the server its MD5 and the foreground counters; the slot then goes on to
// sending. On failure the request is dropped with a message.
void EncodeScreenshot(HostInterface* host, ScreenshotSlot& slot, uint32_t now);

}  // namespace screenshot
