// POSIX stand-in for the display: a surface in memory whose size, pixel
// format, palette, content and foreground state tests set.
#include <cstring>

#include "platform/platform.h"

namespace {

PlatformStandInDisplay g_display;
bool g_open = false;

int32_t Pitch() {
  if (g_display.pitch > 0) return g_display.pitch;
  return g_display.width * ((g_display.bits_per_pixel + 7) / 8);
}

// A scene for screenshots taken before any test set the content: the one
// the harness paints in its game window on Windows (sky in bands of 8 rows,
// grass below two thirds of the height, a sun of radius 60 at 700,200).
void PaintScene() {
  for (int32_t y = 0; y < g_display.height; ++y) {
    for (int32_t x = 0; x < g_display.width; ++x) {
      uint8_t* p = g_display.pixels + (static_cast<size_t>(y) * static_cast<size_t>(g_display.width) + x) * 4;
      const int32_t dx = x - 700, dy = y - 200;
      uint8_t r = 90, g = static_cast<uint8_t>(140 + y / 8), b = 230;  // the sky
      if (dx * dx + dy * dy < 60 * 60) {
        r = 255, g = 220, b = 60;  // the sun
      } else if (y >= g_display.height * 2 / 3) {
        r = 40, g = 130, b = 40;  // the grass
      }
      p[0] = b;
      p[1] = g;
      p[2] = r;
      p[3] = 0;
    }
  }
}

}  // namespace

PlatformStandInDisplay* PlatformTestDisplay() { return &g_display; }

int PlatformDisplayOpen() {
  if (!g_display.content_set && g_display.bits_per_pixel == 32 &&
      static_cast<size_t>(g_display.width) * static_cast<size_t>(g_display.height) * 4 <= sizeof g_display.pixels) {
    PaintScene();
    g_display.content_set = 1;
  }
  g_open = g_display.available != 0;
  return g_open ? 1 : 0;
}

void PlatformDisplayClose() { g_open = false; }

int PlatformDisplayLock(PlatformSurface* surface) {
  if (!g_open || !g_display.available) return 0;
  const int32_t pitch = Pitch();
  if (static_cast<int64_t>(pitch) * g_display.height > static_cast<int64_t>(sizeof g_display.pixels)) return 0;
  surface->pixels = g_display.pixels;
  surface->pitch = pitch;
  surface->bits_per_pixel = g_display.bits_per_pixel;
  surface->width = g_display.width;
  surface->height = g_display.height;
  return 1;
}

void PlatformDisplayUnlock() {}

void PlatformDisplayDrawTestLine() {
  // Pixels 0 and 1 of the first row, as a 32-bit surface lays them out: three
  // bytes apart when packed, else four with the fourth byte cleared.
  static const uint8_t kPacked[6] = {0xF9, 0xF9, 0xF9, 0xF9, 0xF9, 0xF9};
  static const uint8_t kWide[8] = {0xF9, 0xF9, 0xF9, 0, 0xF9, 0xF9, 0xF9, 0};
  if (g_display.packed_32) {
    memcpy(g_display.pixels, kPacked, sizeof kPacked);
  } else {
    memcpy(g_display.pixels, kWide, sizeof kWide);
  }
}

int PlatformDisplayPalette(uint8_t entries[256][4]) {
  memcpy(entries, g_display.palette, sizeof g_display.palette);
  return 1;
}

void PlatformForegroundWindow(PlatformWindowFacts* out) { *out = g_display.window; }
