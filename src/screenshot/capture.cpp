#include "screenshot/capture.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "channel/framing.h"
#include "output/console.h"
#include "platform/platform.h"
#include "screenshot/glyphs.h"
#include "screenshot/memory.h"
#include "screenshot/png_layout.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/arg_list.h"
#include "util/text.h"

namespace screenshot {

namespace {

const int32_t kMargin = 10;
const int32_t kTextBand = 86;
const int32_t kTextRowStep = 13;
const uint8_t kGrey = 127;

int32_t RandomPercent() { return rand() % 99 + 1; }

void FreeCapture(CaptureImage* capture) {
  if (capture == nullptr) return;
  ReleaseScreenshotMemory(capture->deflater);
  ReleaseScreenshotMemory(capture->raw);
  ReleaseScreenshotMemory(capture->canvas);
  ReleaseScreenshotMemory(capture->work);
  capture->~CaptureImage();
  ReleaseScreenshotMemory(capture);
}

CaptureImage* NewCapture() {
  void* block = AllocateScreenshotMemory(sizeof(CaptureImage));
  if (block == nullptr) return nullptr;
  CaptureImage* capture = new (block) CaptureImage();
  capture->sample_rate = 1;
  return capture;
}

// ---- parameters --------------------------------------------------------

struct Request {
  int32_t width, height, x, y, srate;
};

// A local request takes the player's options; a server request its words:
// check value, request number, width, height, x, y, sample rate. false when
// the server request fails its check (it is then dropped).
bool ReadRequest(HostInterface* host, ScreenshotSlot& slot, CaptureImage& capture, Request* request) {
  PlatformLocalTime t;
  PlatformGetLocalTime(&t);
  slot.capture_time = PlatformCalendarTime();
  slot.capture_local = t;
  if (slot.request[0] == '\0') {
    const ScreenshotOptions& options = LocalScreenshotOptions();
    *request = {options.width, options.height, options.x, options.y, options.srate};
    FormatText(capture.lines[0], sizeof capture.lines[0], "Player: %04u.%02u.%02u %02u:%02u:%02u",
               static_cast<unsigned>(t.year), static_cast<unsigned>(t.month), static_cast<unsigned>(t.day),
               static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
  } else {
    char words_text[sizeof slot.request];
    CopyBounded(words_text, slot.request, sizeof words_text - 1);
    ArgList words(words_text, 1, 0);
    const uint32_t check = static_cast<uint32_t>(ReadDigits(words.Word(0)));
    if (((check ^ static_cast<uint32_t>(host->key_c)) / 10) % 2 != 0) return false;
    slot.request_number = static_cast<uint32_t>(ReadDigits(words.Word(1)));
    *request = {640, 480, 50, 50, 1};
    if (words.Count() > 2) request->width = ReadDigits(words.Word(2));
    if (words.Count() > 3) request->height = ReadDigits(words.Word(3));
    if (words.Count() > 4) request->x = static_cast<int32_t>(strtol(words.Word(4), nullptr, 10));
    if (words.Count() > 5) request->y = static_cast<int32_t>(strtol(words.Word(5), nullptr, 10));
    if (words.Count() > 6) request->srate = static_cast<int32_t>(strtol(words.Word(6), nullptr, 10));
    if (request->width < 10) request->width = 10;
    if (request->height < 10) request->height = 10;
    if (request->x < 1 || request->x > 99) request->x = RandomPercent();
    if (request->y < 1 || request->y > 99) request->y = RandomPercent();
    if (request->srate < 1) request->srate = 1;
    if (request->srate == 3) request->srate = 1 << (rand() % 3);
    if (request->srate > 4) request->srate = 4;
    const int64_t rate = request->srate;
    while (static_cast<int64_t>(request->width) * request->height / (rate * rate) > kServerSampleBudget) {
      request->width = static_cast<int32_t>(static_cast<int64_t>(request->width) * 15 / 16);
      request->height = static_cast<int32_t>(static_cast<int64_t>(request->height) * 15 / 16);
    }
    char name[TG_QUERY_BUFFER_SIZE], map[TG_QUERY_BUFFER_SIZE];
    CopyBounded(name, "name", sizeof name - 1);
    QueryHost(host, TG_QUERY_NAMED_TEXT, name);
    CopyBounded(map, "mapname", sizeof map - 1);
    QueryHost(host, TG_QUERY_NAMED_TEXT, map);
    FormatText(capture.lines[0], sizeof capture.lines[0], "%lu %s %s", static_cast<unsigned long>(slot.sequence), name,
               map);
  }
  request->width -= request->width % 4;
  request->height -= request->height % 4;
  return true;
}

// The sample rates a capture knows: 1, 2 and 4; anything else reads as 1.
int32_t ValidSampleRate(int32_t rate) { return rate == 2 || rate == 4 ? rate : 1; }

// Sizes the sampled image of an area of width x height read every rate
// pixels, and reserves its raw rows. false without memory.
bool SizeSampledImage(CaptureImage& capture, int32_t width, int32_t height, int32_t rate) {
  capture.sample_rate = rate;
  capture.captured_width = width;
  capture.captured_height = height;
  capture.sampled_width = width / rate > 0 ? width / rate : 1;
  capture.sampled_height = height / rate > 0 ? height / rate : 1;
  const int64_t row_bytes = 1 + 3 * static_cast<int64_t>(capture.sampled_width);
  return ReserveBuffer(&capture.raw, &capture.raw_capacity, row_bytes * capture.sampled_height);
}

// ---- the display route -------------------------------------------------

void SetUpDisplay();

// The bytes-per-pixel verdict of a 32-bit surface: a grey line drawn by the
// system shows whether its pixels are 3 or 4 bytes apart.
void TestSurface() {
  DisplayState& display = Screenshots().display;
  PlatformSurface surface;
  if (!PlatformDisplayLock(&surface)) return;
  uint8_t saved[12] = {};
  const bool wide = surface.pitch > 11;
  if (wide) {
    memcpy(saved, surface.pixels, sizeof saved);
    memset(surface.pixels, 1, sizeof saved);
  }
  PlatformDisplayUnlock();
  PlatformDisplayDrawTestLine();
  uint8_t seen[8] = {};
  if (!PlatformDisplayLock(&surface)) return;
  if (wide) {
    memcpy(seen, surface.pixels, sizeof seen);
    memcpy(surface.pixels, saved, sizeof saved);
  }
  PlatformDisplayUnlock();
  display.bytes_per_pixel = seen[3] == 0xF9 ? 3 : -1;
}

void ReadPalette() {
  DisplayState& display = Screenshots().display;
  if (display.palette_read) return;
  display.palette_read = PlatformDisplayPalette(display.palette);
}

// Converts count samples of one surface row, from byte first on, each step
// bytes after the last, to R, G, B. Samples outside the row stay black.
void ConvertRow(const uint8_t* row, int64_t pitch, int32_t bits, int64_t first, int64_t step, int32_t count,
                uint8_t* out) {
  const uint8_t(*palette)[4] = Screenshots().display.palette;
  const int64_t pixel_bytes = bits == 8 ? 1 : bits <= 16 ? 2 : 3;
  // The samples that lie inside the row, from the first that does.
  int32_t begin = 0, end = count;
  if (first < 0) begin = static_cast<int32_t>((-first + step - 1) / step);
  const int64_t room = pitch - pixel_bytes - first;
  if (room < 0) return;
  if (static_cast<int64_t>(count - 1) * step > room) end = static_cast<int32_t>(room / step) + 1;
  const uint8_t* p = row + first + begin * step;
  out += 3 * begin;
  switch (bits) {
    case 8:
      for (int32_t i = begin; i < end; ++i, p += step, out += 3) {
        out[0] = palette[p[0]][0];
        out[1] = palette[p[0]][1];
        out[2] = palette[p[0]][2];
      }
      break;
    case 15:
      for (int32_t i = begin; i < end; ++i, p += step, out += 3) {
        const uint32_t word = p[0] | static_cast<uint32_t>(p[1]) << 8;
        out[0] = static_cast<uint8_t>(((word >> 10) & 0x1F) << 3);
        out[1] = static_cast<uint8_t>(((word >> 5) & 0x1F) << 3);
        out[2] = static_cast<uint8_t>((word & 0x1F) << 3);
      }
      break;
    case 16:
      for (int32_t i = begin; i < end; ++i, p += step, out += 3) {
        const uint32_t word = p[0] | static_cast<uint32_t>(p[1]) << 8;
        out[0] = static_cast<uint8_t>((word >> 8) & 0xF8);
        out[1] = static_cast<uint8_t>(((word >> 5) & 0x3F) << 2);
        out[2] = static_cast<uint8_t>((word & 0x1F) << 3);
      }
      break;
    case 24:
    case 32:
      for (int32_t i = begin; i < end; ++i, p += step, out += 3) {
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
      }
      break;
    default:
      break;  // black
  }
}

// Checks the display and sizes the area of the game window to read, with
// its buffers. Gives an error text, or none on success.
const char* PlanDisplayCapture(CaptureImage& capture, const Request& request) {
  DisplayState& display = Screenshots().display;
  if (!display.in_front) return "game window not in front";
  if (!display.ready) SetUpDisplay();  // not prepared early: now, when it is needed
  if (!display.ready) return "display unavailable";
  PlatformSurface surface;
  if (!PlatformDisplayLock(&surface)) return "surface lock failed";
  const int32_t bits = surface.bits_per_pixel;
  PlatformDisplayUnlock();
  if (bits == 32 && display.bytes_per_pixel == 0) TestSurface();
  if (bits == 32 && display.bytes_per_pixel == 0) return "surface test failed";
  if (bits == 8) ReadPalette();

  const int32_t rate = ValidSampleRate(request.srate);
  int32_t x = request.x, y = request.y;
  if (x == 0 || x > 99) x = RandomPercent();
  if (y == 0 || y > 99) y = RandomPercent();
  const PlatformWindowFacts& window = display.window;
  capture.window_width = window.right - window.left;
  capture.window_height = window.bottom - window.top;
  if (capture.window_width <= 0 || capture.window_height <= 0) return "game window has no size";
  int32_t width = request.width < capture.window_width ? request.width : capture.window_width;
  width -= width % rate;
  const int32_t height = request.height < capture.window_height ? request.height : capture.window_height;
  if (width <= 0 || height <= 0) return "nothing to capture";
  capture.offset_y = (capture.window_height - height) * y / 100;
  capture.offset_x = (capture.window_width - width) * x / 100;
  // Each raw row is cleared when it is converted.
  if (!SizeSampledImage(capture, width, height, rate)) return "out of memory";

  capture.bits_per_pixel = bits;
  const int32_t step = bits == 32 ? (display.bytes_per_pixel == 3 ? 3 : CurrentSettings().ss_bpp) : (bits + 7) / 8;
  const int32_t pixel_bytes = bits == 8 ? 1 : bits <= 16 ? 2 : 3;
  capture.convert_step = step * rate;
  capture.work_span = (capture.sampled_width - 1) * capture.convert_step + pixel_bytes;
  if (!ReserveBuffer(&capture.work, &capture.work_capacity,
                     static_cast<int64_t>(capture.work_span) * capture.sampled_height))
    return "out of memory";
  capture.work_cleared = 0;
  return nullptr;
}

// Clears the next slice of the buffer the surface rows are copied into
// (whatever lies outside the surface reads as black); true once it is all
// clear. Its memory is readied first, so that neither the clearing nor the
// copy under the lock pays for fresh pages.
bool ClearWorkSlice(CaptureImage& capture) {
  const int64_t size = static_cast<int64_t>(capture.work_span) * capture.sampled_height;
  if (!CaptureMemoryReady(capture)) return false;
  const int64_t slice =
      size - capture.work_cleared < kCaptureSliceBytes ? size - capture.work_cleared : kCaptureSliceBytes;
  memset(capture.work + capture.work_cleared, 0, static_cast<size_t>(slice));
  capture.work_cleared += static_cast<int32_t>(slice);
  return capture.work_cleared >= size;
}

// Copies the sampled rows of the planned area while the surface is locked
// (one copy per row); the conversion then runs a few rows per cycle. The
// surface is measured again: it may have changed since the plan.
const char* CopySurfaceRows(CaptureImage& capture) {
  PlatformSurface surface;
  if (!PlatformDisplayLock(&surface)) return "surface lock failed";
  if (surface.bits_per_pixel != capture.bits_per_pixel) {
    PlatformDisplayUnlock();
    return "surface changed";
  }
  capture.pitch = surface.pitch;
  const PlatformWindowFacts& window = Screenshots().display.window;
  const int32_t rate = capture.sample_rate;
  const int64_t first_byte = static_cast<int64_t>(window.left + capture.offset_x) * surface.bits_per_pixel / 8;
  // The part of each row that lies inside the surface's pitch.
  const int64_t from = first_byte < 0 ? 0 : first_byte;
  const int64_t to = first_byte + capture.work_span < surface.pitch ? first_byte + capture.work_span : surface.pitch;
  const int64_t top = static_cast<int64_t>(window.top) + capture.offset_y;
  for (int32_t sy = 0; sy < capture.sampled_height && from < to; ++sy) {
    const int64_t row = top + static_cast<int64_t>(sy) * rate;
    if (row >= surface.height) break;  // the surface ends here
    if (row < 0) continue;
    memcpy(capture.work + static_cast<size_t>(sy) * static_cast<size_t>(capture.work_span) + (from - first_byte),
           surface.pixels + row * surface.pitch + from, static_cast<size_t>(to - from));
  }
  PlatformDisplayUnlock();
  capture.rows_converted = 0;
  return nullptr;
}

// Rows of row_bytes each that make up one slice of capture work.
int32_t RowsPerSlice(int64_t row_bytes) {
  return row_bytes >= kCaptureSliceBytes ? 1 : static_cast<int32_t>(kCaptureSliceBytes / row_bytes);
}

// Converts the next rows of the copied area; true once every row is done.
bool ConvertRows(CaptureImage& capture) {
  const int32_t row_bytes = 1 + 3 * capture.sampled_width;
  if (!CaptureMemoryReady(capture)) return false;
  const int32_t rows = RowsPerSlice(row_bytes > capture.work_span ? row_bytes : capture.work_span);
  const int32_t last =
      capture.sampled_height - capture.rows_converted > rows ? capture.rows_converted + rows : capture.sampled_height;
  for (int32_t sy = capture.rows_converted; sy < last; ++sy) {
    uint8_t* row = capture.raw + static_cast<size_t>(sy) * static_cast<size_t>(row_bytes);
    memset(row, 0, static_cast<size_t>(row_bytes));  // filter byte 0; samples not read stay black
    ConvertRow(capture.work + static_cast<size_t>(sy) * static_cast<size_t>(capture.work_span), capture.work_span,
               capture.bits_per_pixel, 0, capture.convert_step, capture.sampled_width, row + 1);
  }
  capture.rows_converted = last;
  return last >= capture.sampled_height;
}

const char* CaptureFromHost(HostInterface* host, CaptureImage& capture, const Request& request) {
  if (host->host_screen_info == nullptr || host->host_screen_info(TG_SCREEN_HAS_PIXELS, 0) == 0)
    return "no host pixels";
  const int32_t screen_width = host->host_screen_info(TG_SCREEN_WIDTH, 0);
  const int32_t screen_height = host->host_screen_info(TG_SCREEN_HEIGHT, 0);
  if (screen_width <= 0 || screen_height <= 0) return "no host screen size";
  // The routine and the buffer travel as 32-bit values: a host of another
  // width cannot hand them over.
  if (sizeof(void*) != sizeof(int32_t)) return "no host pixels on this target";
  const int32_t width = request.width < screen_width ? request.width : screen_width;
  const int32_t height = request.height < screen_height ? request.height : screen_height;
  capture.offset_y = (screen_height - height) * request.y / 100;
  capture.offset_x = (screen_width - width) * request.x / 100;
  capture.window_width = screen_width;
  capture.window_height = screen_height;
  if (!ReserveBuffer(&capture.work, &capture.work_capacity, (static_cast<int64_t>(height) + 1) * width * 4))
    return "out of memory";
  const int32_t value =
      host->host_screen_info(TG_SCREEN_BUFFER, static_cast<int32_t>(reinterpret_cast<intptr_t>(capture.work)));
  TgHostReadPixels read =
      reinterpret_cast<TgHostReadPixels>(static_cast<intptr_t>(host->host_screen_info(TG_SCREEN_READ_PIXELS, 0)));
  if (read == nullptr) return "no host pixel routine";
  read(capture.offset_x, capture.offset_y, width, height, value);
  return SampleHostPixels(capture, capture.work, width, height, request.srate) ? nullptr : "out of memory";
}

}  // namespace

bool SampleHostPixels(CaptureImage& capture, const uint8_t* pixels, int32_t width, int32_t height, int32_t rate) {
  rate = ValidSampleRate(rate);
  if (!SizeSampledImage(capture, width, height, rate)) return false;
  const int32_t row_bytes = 1 + 3 * capture.sampled_width;
  // Bottom row first in the host's pixels; the canvas is top side up.
  for (int32_t sy = 0; sy < capture.sampled_height; ++sy) {
    const int64_t source_row = static_cast<int64_t>(height) - 1 - static_cast<int64_t>(sy) * rate;
    uint8_t* out = capture.raw + static_cast<size_t>(sy) * static_cast<size_t>(row_bytes);
    out[0] = 0;
    for (int32_t sx = 0; sx < capture.sampled_width; ++sx) {
      const int64_t at = (source_row * width + static_cast<int64_t>(sx) * rate) * 3;
      if (source_row < 0 || static_cast<int64_t>(sx) * rate >= width) {
        memset(out + 1 + 3 * sx, 0, 3);
      } else {
        memcpy(out + 1 + 3 * sx, pixels + at, 3);
      }
    }
  }
  return true;
}

namespace {

// ---- the canvas --------------------------------------------------------

void SetPixel(CaptureImage& capture, int32_t x, int32_t y, uint8_t value) {
  if (x < 0 || y < 0 || x >= capture.canvas_width || y >= capture.canvas_height) return;
  uint8_t* p = capture.canvas + static_cast<size_t>(y) * (1 + 3 * static_cast<size_t>(capture.canvas_width)) + 1 +
               3 * static_cast<size_t>(x);
  p[0] = p[1] = p[2] = value;
}

void DrawText(CaptureImage& capture, const char* text, int32_t row) {
  int32_t x = 15;
  for (const char* p = text; *p != '\0'; ++p, x += 8) {
    if (x + kGlyphWidth > capture.canvas_width) break;
    const int code = static_cast<unsigned char>(*p);
    for (int gy = 0; gy < kTextGlyphHeight; ++gy)
      for (int gx = 0; gx < kGlyphWidth; ++gx) {
        if (code >= 32 && code <= 126) {
          if (TextGlyphOn(code, gx, gy)) SetPixel(capture, x + gx, row + gy, 255);
        } else if (gy < kDigitGlyphHeight) {
          if (DigitGlyphOn(code >> 4, gx, gy)) SetPixel(capture, x + gx, row + gy, 255);
          if (DigitGlyphOn(code & 15, gx, gy)) SetPixel(capture, x + gx, row + 6 + gy, 255);
        }
      }
  }
}

// Fills the four further text lines and the annotation and sizes the canvas
// to the image and the longest line. false when no canvas memory.
bool StartComposing(HostInterface* host, ScreenshotSlot& slot, CaptureImage& capture, const char* error) {
  const ForegroundStatistics& foreground = Screenshots().foreground;
  const char* method = capture.direct_draw ? "DirectDraw" : capture.host_route ? "Host" : "None";
  FormatText(capture.lines[1], sizeof capture.lines[1], "Capture: %s %dx%d of %dx%d, rate %d", method,
             static_cast<int>(capture.sampled_width), static_cast<int>(capture.sampled_height),
             static_cast<int>(capture.captured_width), static_cast<int>(capture.captured_height),
             static_cast<int>(capture.sample_rate));
  FormatText(capture.lines[2], sizeof capture.lines[2], "Window: %dx%d at %d,%d; attempts %d; fg %lu/%lu/%lu",
             static_cast<int>(capture.window_width), static_cast<int>(capture.window_height),
             static_cast<int>(capture.offset_x), static_cast<int>(capture.offset_y), static_cast<int>(slot.attempts),
             static_cast<unsigned long>(foreground.cycles), static_cast<unsigned long>(foreground.not_in_front),
             static_cast<unsigned long>(foreground.changes));
  FormatText(capture.lines[3], sizeof capture.lines[3], "Result: %s", error != nullptr ? error : "OK");
  if (PlayerGuid()[0] != '\0') {
    FormatText(capture.lines[4], sizeof capture.lines[4], "*%-32s*", PlayerGuid());
  } else {
    char guid[sizeof host->guid];
    CopyBounded(guid, host->guid, sizeof guid - 1);
    FormatText(capture.lines[4], sizeof capture.lines[4], "%-32s", guid);
  }
  FormatText(capture.text, sizeof capture.text, "%s\n%s\n%s\n%s\n%s", capture.lines[0], capture.lines[1],
             capture.lines[2], capture.lines[3], capture.lines[4]);

  size_t longest = 0;
  for (const char* line : capture.lines) longest = strlen(line) > longest ? strlen(line) : longest;
  if (capture.sampled_width < 1) capture.sampled_width = 1;
  if (capture.sampled_height < 1) capture.sampled_height = 1;
  capture.margin_top = capture.margin_left = capture.margin_right = kMargin;
  capture.margin_bottom = kMargin + kTextBand;
  while (capture.margin_left + capture.sampled_width + capture.margin_right < 8 * static_cast<int32_t>(longest) + 30) {
    ++capture.margin_left;
    ++capture.margin_right;
  }
  capture.canvas_width = capture.margin_left + capture.sampled_width + capture.margin_right;
  capture.canvas_height = capture.margin_top + capture.sampled_height + capture.margin_bottom;
  const int64_t row_bytes = 1 + 3 * static_cast<int64_t>(capture.canvas_width);
  // The PNG later takes the canvas's place, so there is room for it from
  // the start: the PNG is then written into memory the rows made ready.
  const int64_t rows_size = row_bytes * capture.canvas_height;
  if (rows_size > INT32_MAX / 2) return false;
  const int64_t png_room =
      PngSize(static_cast<int32_t>(strlen(capture.text)), DeflateBound(static_cast<int32_t>(rows_size)));
  if (!ReserveBuffer(&capture.canvas, &capture.canvas_capacity, png_room > rows_size ? png_room : rows_size))
    return false;
  capture.canvas_size = static_cast<int32_t>(rows_size);
  capture.rows_composed = 0;
  return true;
}

// Writes a slice of canvas rows: frame, image and black margins; the text
// goes in once the last row is written. True when the canvas is complete.
bool ComposeRows(CaptureImage& capture) {
  const size_t row_bytes = 1 + 3 * static_cast<size_t>(capture.canvas_width);
  if (!CaptureMemoryReady(capture)) return false;
  const int32_t last = capture.canvas_height - 1;
  const int32_t band_line = capture.sampled_height + 19;
  const bool image = (capture.direct_draw || capture.host_route) && capture.raw != nullptr;
  const size_t raw_row = 1 + 3 * static_cast<size_t>(capture.sampled_width);
  const int32_t rows = RowsPerSlice(static_cast<int64_t>(row_bytes));
  const int32_t end =
      capture.canvas_height - capture.rows_composed > rows ? capture.rows_composed + rows : capture.canvas_height;
  for (int32_t y = capture.rows_composed; y < end; ++y) {
    uint8_t* row = capture.canvas + static_cast<size_t>(y) * row_bytes;
    if (y == 0 || y == last || y == band_line) {
      row[0] = 0;
      memset(row + 1, kGrey, row_bytes - 1);
      continue;
    }
    memset(row, 0, row_bytes);
    const int32_t image_y = y - capture.margin_top;
    if (image && image_y >= 0 && image_y < capture.sampled_height)
      memcpy(row + 1 + 3 * static_cast<size_t>(capture.margin_left),
             capture.raw + static_cast<size_t>(image_y) * raw_row + 1, raw_row - 1);
    SetPixel(capture, 0, y, kGrey);
    SetPixel(capture, capture.canvas_width - 1, y, kGrey);
  }
  capture.rows_composed = end;
  if (end < capture.canvas_height) return false;
  for (int i = 0; i < 5; ++i)
    DrawText(capture, capture.lines[i], capture.margin_top + capture.sampled_height + 21 + kTextRowStep * i);
  return true;
}

}  // namespace

bool CaptureMemoryReady(CaptureImage& capture) {
  switch (capture.capture_phase) {
    case kCaptureClearing:
      return capture.work == nullptr ||
             WarmScreenshotMemory(capture.work, static_cast<size_t>(capture.work_span) * capture.sampled_height);
    case kCaptureConverting:
      return capture.raw == nullptr ||
             WarmScreenshotMemory(capture.raw, (1 + 3 * static_cast<size_t>(capture.sampled_width)) *
                                                   static_cast<size_t>(capture.sampled_height));
    case kCaptureComposingRows:
      return capture.canvas == nullptr ||
             WarmScreenshotMemory(capture.canvas, static_cast<size_t>(capture.canvas_capacity));
    default:
      return true;
  }
}

namespace {

void SetUpDisplay() {
  DisplayState& display = Screenshots().display;
  display.ready = PlatformDisplayOpen();
  PlatformSurface surface;
  if (display.ready && PlatformDisplayLock(&surface)) {
    const int32_t bits = surface.bits_per_pixel;
    PlatformDisplayUnlock();
    if (bits == 8) ReadPalette();
  }
}

}  // namespace

void PrepareCaptureDevice(HostInterface*) {
  if (!Screenshots().display.ready) SetUpDisplay();
}

void UpdateForegroundStatistics(uint32_t) {
  DisplayState& display = Screenshots().display;
  ForegroundStatistics& foreground = Screenshots().foreground;
  PlatformWindowFacts window;
  PlatformForegroundWindow(&window);
  if (window.ours) display.window = window;
  const int in_front = window.ours && (window.show_state & 1) != 0;
  if (foreground.counted && in_front != display.in_front) ++foreground.changes;
  if (!in_front) ++foreground.not_in_front;
  ++foreground.cycles;
  foreground.counted = 1;
  display.in_front = in_front;
}

void ClearScreenshotSlot(ScreenshotSlot& slot) {
  FreeCapture(slot.capture);
  memset(&slot, 0, sizeof slot);
}

namespace {

// A failed attempt of the display route: set up again and tried next cycle,
// or after the fifth the host's route (the server hears why), else an
// image-less canvas that says so.
void DisplayAttemptFailed(HostInterface* host, ScreenshotSlot& slot, CaptureImage& capture, const char* error,
                          uint32_t now) {
  capture.capture_phase = kCaptureNew;
  ++slot.attempts;
  if (slot.attempts < kDisplayAttempts) {
    PlatformDisplayClose();
    Screenshots().display.ready = 0;
    SetUpDisplay();
    return;
  }
  if (slot.request[0] != '\0') {
    char notice[160];
    FormatText(notice, sizeof notice, "%c%c%lu %s", 'B', 'F', static_cast<unsigned long>(slot.sequence), error);
    QueuePayload(notice, static_cast<int32_t>(strlen(notice)) + 1, 1, now);
  }
  const Request request = {capture.width, capture.height, capture.x, capture.y, capture.srate};
  if (CaptureFromHost(host, capture, request) == nullptr) {
    capture.host_route = 1;
  } else {
    capture.sampled_width = capture.sampled_height = 1;
    CopyBounded(capture.error, error, sizeof capture.error - 1);
  }
  capture.capture_phase = kCaptureComposing;
}

}  // namespace

void CaptureScreenshot(HostInterface* host, ScreenshotSlot& slot, uint32_t now) {
  if (slot.capture == nullptr) slot.capture = NewCapture();
  CaptureImage* capture = slot.capture;
  if (capture == nullptr) {
    ConsolePrint(0, "Screenshot dropped: no memory for the capture");
    ClearScreenshotSlot(slot);
    return;
  }
  if (capture->capture_phase == kCaptureNew) {
    Request request;
    if (!ReadRequest(host, slot, *capture, &request)) {
      ClearScreenshotSlot(slot);  // a request that fails its check goes without a word
      return;
    }
    capture->width = request.width;
    capture->height = request.height;
    capture->x = request.x;
    capture->y = request.y;
    capture->srate = request.srate;
    capture->direct_draw = 0;
    capture->host_route = 0;
    const char* error = PlanDisplayCapture(*capture, request);
    if (error != nullptr) {
      DisplayAttemptFailed(host, slot, *capture, error, now);
      return;
    }
    capture->capture_phase = kCaptureClearing;
    return;
  }
  // The copy buffer is cleared over cycles, then the rows are copied at
  // once; later cycles convert them, a slice at a time, then compose.
  if (capture->capture_phase == kCaptureClearing) {
    if (!ClearWorkSlice(*capture)) return;
    const char* error = CopySurfaceRows(*capture);
    if (error != nullptr) {
      DisplayAttemptFailed(host, slot, *capture, error, now);
      return;
    }
    capture->direct_draw = 1;
    capture->capture_phase = kCaptureConverting;
    return;
  }
  if (capture->capture_phase == kCaptureConverting) {
    if (!ConvertRows(*capture)) return;
    ReleaseScreenshotMemory(capture->work);  // the surface copy is not needed past here
    capture->work = nullptr;
    capture->work_capacity = 0;
    capture->capture_phase = kCaptureComposing;
    return;
  }
  if (capture->capture_phase == kCaptureComposing) {
    if (!StartComposing(host, slot, *capture, capture->error[0] != '\0' ? capture->error : nullptr)) {
      ConsolePrint(0, "Screenshot dropped: no memory for the canvas");
      ClearScreenshotSlot(slot);
      return;
    }
    capture->capture_phase = kCaptureComposingRows;
    return;
  }
  if (ComposeRows(*capture)) slot.state = kSlotEncoding;
}

}  // namespace screenshot
