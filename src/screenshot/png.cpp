#include "screenshot/png.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "channel/wire_bytes.h"
#include "output/console.h"
#include "screenshot/capture.h"
#include "screenshot/memory.h"
#include "util/seeded_md5.h"
#include "util/text.h"

namespace screenshot {

namespace {

const uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
const char kKeyword[] = "Comment";  // 7 characters, as the text chunk carries it

// The CRC of the chunk that starts (with its type) at out + start and ends
// where the writer stands, written after it.
void EndChunk(wire::ByteWriter& png, uint8_t* out, int32_t start) {
  png.U32BE(~Crc32Update(0xFFFFFFFFu, png.Length() - start, out + start));
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, int32_t length, const uint8_t* bytes) {
  // zlib's crc32 takes and gives the complemented register.
  if (length <= 0) return crc;
  return ~static_cast<uint32_t>(crc32(~crc & 0xFFFFFFFFu, bytes, static_cast<uInt>(length)));
}

int32_t WritePng(uint8_t* out, const uint8_t* compressed, int32_t n, uint32_t width, uint32_t height, const char* text,
                 uint8_t depth, uint8_t colour_type, uint8_t compression, uint8_t filter, uint8_t interlace) {
  const int32_t text_length = static_cast<int32_t>(strlen(text));
  wire::ByteWriter png(out, PngSize(text_length, n));
  png.Bytes(kSignature, sizeof kSignature);
  png.U32BE(13);
  int32_t start = png.Length();
  png.Text("IHDR");
  png.U32BE(width);
  png.U32BE(height);
  png.U8(depth);
  png.U8(colour_type);
  png.U8(compression);
  png.U8(filter);
  png.U8(interlace);
  EndChunk(png, out, start);
  png.U32BE(static_cast<uint32_t>(text_length) + 8);
  start = png.Length();
  png.Text("tEXt");
  png.Bytes(kKeyword, 8);  // the keyword and its NUL
  png.Text(text);
  EndChunk(png, out, start);
  png.U32BE(static_cast<uint32_t>(n));
  start = png.Length();
  png.Text("IDAT");
  png.Bytes(compressed, n);
  EndChunk(png, out, start);
  png.U32BE(0);
  start = png.Length();
  png.Text("IEND");
  EndChunk(png, out, start);
  return png.Length();
}

int32_t EncodeSliceBytes(int32_t canvas_size) {
  const int32_t share = canvas_size / kEncodeSlices + 1;
  return share < kEncodeSliceMinBytes   ? kEncodeSliceMinBytes
         : share > kEncodeSliceMaxBytes ? kEncodeSliceMaxBytes
                                        : share;
}

namespace {

// The block of the deflate stream's state, kept by the capture until the
// stream ends; false without memory.
bool TakeDeflaterMemory(CaptureImage& capture) {
  if (capture.deflater == nullptr)
    capture.deflater = static_cast<SlicedDeflate*>(AllocateScreenshotMemory(sizeof(SlicedDeflate)));
  return capture.deflater != nullptr;
}

}  // namespace

bool EncodeMemoryReady(CaptureImage& capture) {
  if (capture.encode_stage != kEncodeNotStarted || capture.canvas == nullptr) return true;
  // The stream's output goes where the sampled rows were (they are on the
  // canvas by now), with room for the whole stream; its state is a block of
  // its own. Without memory the stream's start finds out.
  const int32_t bound = DeflateBound(capture.canvas_size);
  if (!ReserveBuffer(&capture.raw, &capture.raw_capacity, bound)) return true;
  if (!WarmScreenshotMemory(capture.raw, static_cast<size_t>(bound))) return false;
  return !TakeDeflaterMemory(capture) || WarmScreenshotMemory(capture.deflater, sizeof(SlicedDeflate));
}

namespace {

void DropEncoding(ScreenshotSlot& slot) {
  ConsolePrint(0, "Screenshot dropped: the image could not be encoded");
  ClearScreenshotSlot(slot);
}

// Starts the deflate stream over the canvas: the stream one compress() call
// at the default level makes.
bool StartDeflate(CaptureImage& capture) {
  if (!ReserveBuffer(&capture.raw, &capture.raw_capacity, DeflateBound(capture.canvas_size))) return false;
  if (!TakeDeflaterMemory(capture)) return false;
  StartSlicedDeflate(*capture.deflater, capture.canvas, static_cast<uint32_t>(capture.canvas_size), capture.raw,
                     static_cast<uint32_t>(capture.raw_capacity));
  capture.encode_stage = kEncodeDeflating;
  return true;
}

// One slice of deflate work; at the end the PNG is written in place of the
// canvas. false on failure.
bool DeflateSlice(CaptureImage& capture) {
  // A slice is a share of the stream's work, which grainy images make many
  // times the canvas's size: the share of the least the whole can take, which
  // grows as the work shows itself, up to twice the canvas's share (so that a
  // grainy start does not make the slices of a flat rest too long).
  const uint64_t share = SlicedDeflateLeastWork(*capture.deflater) / kEncodeSlices;
  const int32_t least = EncodeSliceBytes(capture.canvas_size);
  const int32_t work = share <= static_cast<uint64_t>(least)        ? least
                       : share >= 2u * static_cast<uint64_t>(least) ? 2 * least
                                                                    : static_cast<int32_t>(share);
  const DeflateProgress progress = RunSlicedDeflate(*capture.deflater, work);
  if (progress == DeflateProgress::kMore) return true;
  const int32_t n = static_cast<int32_t>(SlicedDeflateSize(*capture.deflater));
  // The stream's state goes back to be kept for the next screenshot.
  ReleaseScreenshotMemory(capture.deflater);
  capture.deflater = nullptr;
  capture.encode_stage = kEncodeHashing;
  if (progress != DeflateProgress::kDone) return false;
  const int32_t text_length = static_cast<int32_t>(strlen(capture.text));
  if (!ReserveBuffer(&capture.canvas, &capture.canvas_capacity, PngSize(text_length, n))) return false;
  capture.canvas_size = WritePng(capture.canvas, capture.raw, n, static_cast<uint32_t>(capture.canvas_width),
                                 static_cast<uint32_t>(capture.canvas_height), capture.text, 8, 2, 0, 0, 0);
  capture.md5.Start(0);
  capture.hashed = 0;
  return true;
}

// One slice of the PNG through the MD5; true once the digest is complete.
bool HashSlice(CaptureImage& capture) {
  const int32_t slice =
      capture.canvas_size - capture.hashed < kHashSliceBytes ? capture.canvas_size - capture.hashed : kHashSliceBytes;
  capture.md5.Update(capture.canvas + capture.hashed, slice);
  capture.hashed += slice;
  if (capture.hashed < capture.canvas_size) return false;
  capture.md5.Finish();
  memcpy(capture.digest, capture.md5.DigestBytes(), sizeof capture.digest);
  capture.encode_stage = kEncodeDone;
  return true;
}

}  // namespace

void EncodeScreenshot(HostInterface* host, ScreenshotSlot& slot, uint32_t now) {
  CaptureImage* capture = slot.capture;
  if (capture == nullptr || capture->canvas == nullptr) {
    ClearScreenshotSlot(slot);
    return;
  }
  // One slice of work per cycle: memory readied or the stream started, a
  // slice deflated, or a slice digested.
  switch (capture->encode_stage) {
    case kEncodeNotStarted:
      if (EncodeMemoryReady(*capture) && !StartDeflate(*capture)) DropEncoding(slot);
      return;
    case kEncodeDeflating:
      if (!DeflateSlice(*capture)) DropEncoding(slot);
      return;
    case kEncodeHashing:
      HashSlice(*capture);  // the image is announced in the cycle after the last slice
      return;
    default:
      break;
  }
  if (slot.request[0] != '\0') {
    // The server learns which image it is about to get and how the game
    // window fared meanwhile.
    const ForegroundStatistics& foreground = Screenshots().foreground;
    char digest[33];
    for (int i = 0; i < 16; ++i) FormatText(digest + 2 * i, 3, "%02X", capture->digest[i]);
    char notice[128];
    FormatText(notice, sizeof notice, "%c%c%d %lu %s %lu %lu %lu", 'B', 'N', 1,
               static_cast<unsigned long>(slot.sequence), digest, static_cast<unsigned long>(foreground.cycles),
               static_cast<unsigned long>(foreground.not_in_front), static_cast<unsigned long>(foreground.changes));
    QueuePayload(notice, static_cast<int32_t>(strlen(notice)) + 1, 1, now);
  }
  (void)host;
  slot.state = kSlotSending;
}

}  // namespace screenshot
