#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/client_state.h"
#include "platform/platform.h"
#include "screenshot/capture.h"
#include "screenshot/delivery.h"
#include "screenshot/memory.h"
#include "screenshot/png.h"
#include "support/module_test.h"
#include "util/memory.h"
#include "util/seeded_md5.h"

#ifdef TG_HAVE_LIBPNG
#include <png.h>
#endif

using namespace screenshot;

namespace {

uint32_t Big32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

// A PNG taken apart by the standard's rules: its chunks, each CRC checked
// with zlib's own CRC-32, and the rows of its image data inflated.
struct DecodedPng {
  bool ok = false;
  uint32_t width = 0, height = 0;
  std::string text;
  std::vector<uint8_t> rows;  // 1 + 3 x width bytes per row
  uint8_t Channel(uint32_t x, uint32_t y, int c) const { return rows[y * (1 + 3 * width) + 1 + 3 * x + c]; }
};

DecodedPng Decode(const std::vector<uint8_t>& png) {
  DecodedPng out;
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (png.size() < 8 || memcmp(png.data(), kSignature, 8) != 0) return out;
  std::vector<uint8_t> compressed;
  size_t at = 8;
  bool ended = false;
  while (at + 12 <= png.size() && !ended) {
    const uint32_t length = Big32(&png[at]);
    if (at + 12 + length > png.size()) return out;
    const std::string type(png.begin() + static_cast<long>(at) + 4, png.begin() + static_cast<long>(at) + 8);
    const uint8_t* data = &png[at + 8];
    const uint32_t crc = static_cast<uint32_t>(crc32(0L, &png[at + 4], length + 4));
    if (crc != Big32(&png[at + 8 + length])) return out;
    if (type == "IHDR") {
      out.width = Big32(data);
      out.height = Big32(data + 4);
      if (data[8] != 8 || data[9] != 2 || data[10] != 0 || data[11] != 0 || data[12] != 0) return out;
    } else if (type == "tEXt") {
      out.text.assign(reinterpret_cast<const char*>(data), length);
    } else if (type == "IDAT") {
      compressed.insert(compressed.end(), data, data + length);
    } else if (type == "IEND") {
      ended = true;
    }
    at += 12 + length;
  }
  uLongf size = static_cast<uLongf>(out.height) * (1 + 3 * out.width);
  out.rows.resize(size);
  if (!ended || at != png.size() ||
      uncompress(out.rows.data(), &size, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK ||
      size != out.rows.size())
    return out;
  for (uint32_t y = 0; y < out.height; ++y)
    if (out.rows[y * (1 + 3 * out.width)] != 0) return out;  // every row unfiltered
  out.ok = true;
  return out;
}

#ifdef TG_HAVE_LIBPNG
// libpng's reading of a PNG as 8-bit R, G, B rows; empty when it refuses
// the file (a bad CRC, a broken stream, a wrong layout).
std::vector<uint8_t> DecodeWithLibpng(const std::vector<uint8_t>& png, uint32_t* width, uint32_t* height) {
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return {};
  }
  *width = image.width;
  *height = image.height;
  return pixels;
}
#endif

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  uint8_t chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  fclose(file);
  return bytes;
}

void FixedLocalTime(PlatformLocalTime* out) { *out = {2026, 3, 4, 9, 5, 7}; }

// A started, connected module whose display is the stand-in: a 1024 x 768
// game window in front, 32-bit pixels whose colour tells their position.
class Screenshot : public ConnectedTest {
 protected:
  void SetUp() override {
    display = PlatformTestDisplay();
    if (display == nullptr) GTEST_SKIP() << "no stand-in display on this system";
    ConnectedTest::SetUp();
    PlatformSetLocalTimeSource(FixedLocalTime);
    Client().protocol.connection.frames_received = 1;
    display->available = 1;
    display->content_set = 1;
    display->pitch = 0;
    display->packed_32 = 0;
    SetDisplay(1024, 768, 32);
    PlatformDisplayClose();
    Client().screenshots.display = DisplayState();
  }
  void SetDisplay(int width, int height, int bits) {
    display->width = width;
    display->height = height;
    display->bits_per_pixel = bits;
    display->window = {1, 1, 0, 0, width, height};
    const int bytes = (bits + 7) / 8;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        uint8_t* p = display->pixels + (static_cast<size_t>(y) * width + x) * bytes;
        if (bits == 32) {
          p[0] = static_cast<uint8_t>(x);      // blue
          p[1] = static_cast<uint8_t>(y);      // green
          p[2] = static_cast<uint8_t>(x + y);  // red
          p[3] = 0;
        }
      }
  }
  // Runs main work and event walks until nothing changes.
  void Serve(int cycles = 8, uint32_t step_ms = 60) {
    for (int i = 0; i < cycles; ++i) Cycle(step_ms);
  }
  // Runs cycles until a slot reaches a state (the encoding takes a cycle per
  // slice), at most a few hundred.
  void ServeUntil(const ScreenshotSlot& slot, int32_t state) {
    // A grainy 640 x 480 picture takes several hundred cycles to deflate.
    for (int i = 0; i < 1500 && slot.state != state; ++i) Cycle(60);
  }
  PlatformStandInDisplay* display = nullptr;
};

}  // namespace

TEST(Png, LayoutAndChecksAsTheStandardSays) {
  const uint8_t rows[] = {0, 1, 2, 3, 0, 4, 5, 6};  // 1 x 2, unfiltered
  uint8_t compressed[64];
  uLongf n = sizeof compressed;
  ASSERT_EQ(compress(compressed, &n, rows, sizeof rows), Z_OK);
  for (const std::string& text : {std::string(), std::string("a note")}) {
    std::vector<uint8_t> png(static_cast<size_t>(PngSize(static_cast<int32_t>(text.size()), static_cast<int32_t>(n))));
    EXPECT_EQ(WritePng(png.data(), compressed, static_cast<int32_t>(n), 1, 2, text.c_str(), 8, 2, 0, 0, 0),
              static_cast<int32_t>(77 + text.size() + n));
    EXPECT_EQ(Big32(&png[33]), text.size() + 8);  // the keyword and its NUL come first
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&png[41]), 8), std::string("Comment\0", 8));
    EXPECT_EQ(Big32(&png[png.size() - 4]), 0xAE426082u);
    const DecodedPng decoded = Decode(png);
    ASSERT_TRUE(decoded.ok) << text;
    EXPECT_EQ(decoded.text, std::string("Comment\0", 8) + text);
    EXPECT_EQ(decoded.rows, std::vector<uint8_t>(rows, rows + sizeof rows));
  }
}

TEST_F(Screenshot, LocalScreenshotIsSavedWithItsPageAndLogLine) {
  Run("tg_SsOptions 640 480 50 50 1");
  Run("tg_GetSs");
  ServeUntil(Client().screenshots.slots[0], kSlotDone);
  EXPECT_TRUE(host.Printed("Screenshot saved to " + ModulePath("scrnshot\\0304_000.png")));
  const DecodedPng png = Decode(ReadFile(HomeFile("scrnshot/0304_000.png")));
  ASSERT_TRUE(png.ok);
  const CaptureImage& capture = *Client().screenshots.slots[0].capture;
  EXPECT_EQ(png.width, static_cast<uint32_t>(capture.canvas_width));
  EXPECT_EQ(capture.sampled_width, 640);
  EXPECT_EQ(capture.sampled_height, 480);
  // The area starts 192 right of and 144 below the window's corner.
  EXPECT_EQ(capture.offset_x, 192);
  EXPECT_EQ(capture.offset_y, 144);
  const uint32_t left = static_cast<uint32_t>(capture.margin_left), top = 10;
  for (uint32_t x : {0u, 17u, 639u})
    for (uint32_t y : {0u, 33u, 479u}) {
      EXPECT_EQ(png.Channel(left + x, top + y, 0), static_cast<uint8_t>(192 + x + 144 + y)) << x << "," << y;
      EXPECT_EQ(png.Channel(left + x, top + y, 1), static_cast<uint8_t>(144 + y));
      EXPECT_EQ(png.Channel(left + x, top + y, 2), static_cast<uint8_t>(192 + x));
    }
  // The grey frame, and the line above the text band.
  EXPECT_EQ(png.Channel(0, 0, 0), 127);
  EXPECT_EQ(png.Channel(0, 100, 1), 127);
  EXPECT_EQ(png.Channel(png.width - 1, 100, 2), 127);
  EXPECT_EQ(png.Channel(50, 480 + 19, 0), 127);
  EXPECT_EQ(png.height, 10u + 480u + 96u);
  EXPECT_NE(png.text.find("Player: 2026.03.04 09:05:07"), std::string::npos);
  EXPECT_NE(png.text.find("Capture: DirectDraw 640x480"), std::string::npos);
  EXPECT_NE(png.text.find("*PLAYERGUID0123456789ABCDEF012345*"), std::string::npos);
  // Some text pixel is lit in the band.
  bool lit = false;
  for (uint32_t y = 10 + 480 + 21; y < png.height - 1 && !lit; ++y)
    for (uint32_t x = 15; x < png.width - 1 && !lit; ++x) lit = png.Channel(x, y, 0) == 255;
  EXPECT_TRUE(lit);

  const std::vector<uint8_t> bytes = ReadFile(HomeFile("scrnshot/0304_000.png"));
  const std::string md5 = DigestHexText(bytes.data(), static_cast<int32_t>(bytes.size()), 0);
  const std::vector<uint8_t> log = ReadFile(HomeFile("tgsslog.htm"));
  EXPECT_EQ(std::string(log.begin(), log.end()),
            "<p> <a href=scrnshot\\0304_000.htm target=_blank>scrnshot\\0304_000.png</a> tg000000.png [09:05:07] MD5=" +
                md5 + " Local Screenshot\r\n");
  const std::vector<uint8_t> page = ReadFile(HomeFile("scrnshot/0304_000.htm"));
  EXPECT_EQ(std::string(page.begin(), page.end()), "<p> <img src=0304_000.png>\r\n");

  Run("tg_GetSs");
  ServeUntil(Client().screenshots.slots[1], kSlotDone);
  EXPECT_TRUE(host.Printed("Screenshot saved to " + ModulePath("scrnshot\\0304_001.png")));
}

TEST_F(Screenshot, EveryPixelFormatConvertsByItsRow) {
  struct Case {
    int bits;
    std::vector<uint8_t> pixel;  // the surface bytes of the pixel at (0, 0)
    int packed;                  // 32-bit surfaces: pixels 3 bytes apart
    int ss_bpp;
    uint8_t r, g, b;
  } cases[] = {
      {8, {7}, 0, 4, 10, 20, 30},
      {15, {0x3E, 0x7F}, 0, 4, 0xF8, 0xC8, 0xF0},  // 0x7F3E: R 11111 G 11001 B 11110
      {16, {0x3E, 0xFF}, 0, 4, 0xF8, 0xE4, 0xF0},  // 0xFF3E: R high byte, G 111001, B 11110
      {24, {1, 2, 3}, 0, 4, 3, 2, 1},
      {32, {1, 2, 3, 9}, 0, 4, 3, 2, 1},
      {32, {1, 2, 3}, 1, 4, 3, 2, 1},
  };
  for (const Case& c : cases) {
    memset(display->pixels, 0, 64);
    display->bits_per_pixel = c.bits;
    display->packed_32 = c.packed;
    display->width = display->window.right = 16;
    display->height = display->window.bottom = 16;
    display->palette[7][0] = 10, display->palette[7][1] = 20, display->palette[7][2] = 30;
    memcpy(display->pixels, c.pixel.data(), c.pixel.size());
    Client().screenshots.display = DisplayState();
    PlatformDisplayClose();
    Client().settings.values.ss_bpp = c.ss_bpp;
    Run("tg_SsOptions 16 16 0 0 1");
    Client().settings.values.local_shot.x = 1;  // placed at the corner
    Client().settings.values.local_shot.y = 1;
    Run("tg_GetSs");
    ScreenshotSlot& slot = Client().screenshots.slots[0];
    ServeUntil(slot, kSlotEncoding);
    ASSERT_NE(slot.capture, nullptr) << c.bits;
    const uint8_t* raw = slot.capture->raw;
    EXPECT_EQ(raw[0], 0);
    EXPECT_EQ(raw[1], c.r) << c.bits;
    EXPECT_EQ(raw[2], c.g) << c.bits;
    EXPECT_EQ(raw[3], c.b) << c.bits;
    if (c.bits == 32) {
      EXPECT_EQ(Client().screenshots.display.bytes_per_pixel, c.packed ? 3 : -1);
    }
    FreeScreenshotSlots();
  }
}

TEST_F(Screenshot, ServerRequestsFollowTheirRules) {
  host.record.key_c = 0;
  struct Case {
    const char* words;  // check, request number, W, H, X, Y, Srate
    int queued;
    int width, height;
  } cases[] = {
      {"5 5 2000 2000 50 50 1", 1, 280, 280},  // 283 x 283 after the 15/16 steps, then multiples of 4
      {"20 6 320 240 50 50 2", 1, 320, 240},
      {"0 7 5 5 50 50 1", 1, 8, 8},                      // at least 10, then a multiple of 4
      {"13 8 320 240 50 50 1", 0, 0, 0},                 // 13 / 10 = 1 is odd: discarded
      {"0 9 477218588 477218588 50 50 1", 1, 280, 280},  // a hostile size shrinks without overflow
  };
  for (const Case& c : cases) {
    FreeScreenshotSlots();
    Client().screenshots.sequence = 50;
    EXPECT_TRUE(DeliverPlain(std::string("I0 ") + c.words));
    ScreenshotSlot& slot = Client().screenshots.slots[0];
    ASSERT_EQ(slot.state == kSlotCapture, c.queued == 1) << c.words;
    if (!c.queued) continue;
    Serve(2);
    ASSERT_NE(slot.capture, nullptr) << c.words;
    EXPECT_EQ(slot.capture->width, c.width) << c.words;
    EXPECT_EQ(slot.capture->height, c.height) << c.words;
  }
}

TEST_F(Screenshot, UploadIsAnnouncedAndPacedOnePiecePerSecond) {
  Client().screenshots.sequence = 70;
  ASSERT_TRUE(DeliverPlain("I0 0 77 64 48 50 50 1"));
  ScreenshotSlot& slot = Client().screenshots.slots[0];
  ServeUntil(slot, kSlotSending);  // capture, then encoding slice by slice
  ASSERT_EQ(slot.state, kSlotSending);
  const std::vector<uint8_t> png(slot.capture->canvas, slot.capture->canvas + slot.capture->canvas_size);
  ASSERT_TRUE(Decode(png).ok);
  Flush();
  const std::string md5 = DigestHexText(png.data(), static_cast<int32_t>(png.size()), 0);
  bool noticed = false;  // the notice: 1, sequence, MD5, the foreground counters
  for (const PeerFrame& frame : TakeFrames()) noticed |= frame.Text().rfind("BN1 70 " + md5 + " ", 0) == 0;
  EXPECT_TRUE(noticed);

  std::vector<uint8_t> received;
  int announcements = 0;
  uint32_t last_piece_time = 0;
  for (int i = 0; i < 400 && slot.state != kSlotDone; ++i) {
    Cycle(100);
    Cycle(100);
    for (const PeerFrame& frame : TakeFrames()) {
      const Bytes& p = frame.payload;
      if (p[0] == 'G') {
        ++announcements;
        EXPECT_EQ(frame.Text(), "G" + std::to_string(png.size()) + " " + md5 + " Atg000077.png");
      } else if (p[0] == 'H') {
        const size_t piece = static_cast<size_t>(p[1]) << 8 | p[2];
        EXPECT_EQ(p[3], 'A');
        EXPECT_EQ(piece * 1024, received.size());
        if (last_piece_time != 0) {
          EXPECT_GE(TestClock::now - last_piece_time, 1000u);
        }
        last_piece_time = TestClock::now;
        received.insert(received.end(), p.begin() + 4, p.end());
      }
    }
  }
  EXPECT_EQ(announcements, 1);
  EXPECT_EQ(received, png);
  EXPECT_EQ(slot.state, kSlotDone);

  // A send list naming piece 1 sends that piece only; "*" everything again,
  // announced once, when the second since that piece is over.
  Serve(20, 100);
  ASSERT_TRUE(DeliverPlain(Bytes{0x01, '7', '0', ' ', '1', 0}));
  std::vector<std::pair<uint32_t, PeerFrame>> sent;  // when each frame went
  auto serve_for = [&](uint32_t ms, bool until_sent) {
    for (uint32_t t = 0; t < ms && !(until_sent && !sent.empty()); t += 50) {
      Cycle(50);
      Flush(0);
      for (PeerFrame& frame : TakeFrames()) sent.emplace_back(TestClock::now, frame);
    }
  };
  serve_for(3000, true);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].second.payload[0], 'H');
  EXPECT_EQ(sent[0].second.payload[2], 1);
  EXPECT_EQ(slot.state, kSlotDone);
  ASSERT_TRUE(DeliverPlain(Bytes{0x01, '7', '0', ' ', '*', 0}));  // at once
  serve_for(8000, false);
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[1].second.payload[0], 'G');
  EXPECT_GE(sent[1].first - sent[0].first, 1000u);
  int again = 0;
  for (const auto& frame : sent) again += frame.second.payload[0] == 'G';
  EXPECT_EQ(again, 1);

  // Piece numbers outside the image end the run with nothing sent.
  for (int i = 0; i < 200 && slot.state != kSlotDone; ++i) Cycle(500);
  ASSERT_EQ(slot.state, kSlotDone);
  Flush(0);
  TakeFrames();
  for (const std::string list : {"4294967295", "2147483647", "99"}) {
    sent.clear();
    const std::string text =
        "\x01"
        "70 " +
        list;
    Bytes payload(text.begin(), text.end());
    payload.push_back(0);
    ASSERT_TRUE(DeliverPlain(payload));
    serve_for(3000, false);
    EXPECT_TRUE(sent.empty()) << list;
    EXPECT_EQ(slot.state, kSlotDone) << list;
  }
}

TEST_F(Screenshot, PiecesEndWhereTheImageEnds) {
  uint32_t noise = 99;
  for (size_t i = 0; i < 1024u * 768u * 4u; ++i) {
    noise = noise * 1103515245u + 12345u;
    display->pixels[i] = static_cast<uint8_t>(noise >> 24);
  }
  Client().screenshots.sequence = 80;
  const struct {
    int32_t size;
    std::vector<size_t> pieces;
  } cases[] = {{2048, {1024, 1024}}, {2049, {1024, 1024, 1}}, {1, {1}}};
  for (const auto& c : cases) {
    FreeScreenshotSlots();
    ASSERT_TRUE(DeliverPlain("I0 0 5 64 48 50 50 1"));
    ScreenshotSlot& slot = Client().screenshots.slots[0];
    ServeUntil(slot, kSlotSending);
    ASSERT_GT(slot.capture->canvas_size, 2049);
    slot.capture->canvas_size = c.size;  // the image ends here
    Flush();
    TakeFrames();
    std::vector<size_t> sizes;
    std::vector<uint32_t> times;
    int announcements = 0;
    for (int i = 0; i < 100 && slot.state != kSlotDone; ++i) {
      Cycle(100);
      for (const PeerFrame& frame : TakeFrames()) {
        if (frame.payload[0] == 'G') ++announcements;
        if (frame.payload[0] != 'H') continue;
        EXPECT_EQ(frame.payload[2], sizes.size()) << c.size;
        sizes.push_back(frame.payload.size() - 4);
        times.push_back(TestClock::now);
      }
    }
    EXPECT_EQ(slot.state, kSlotDone) << c.size;
    EXPECT_EQ(announcements, 1) << c.size;
    EXPECT_EQ(sizes, c.pieces) << c.size;
    for (size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 1000u) << c.size;
  }
}

TEST_F(Screenshot, ThirteenthRequestReusesTheOldestSlotThatIsNotSending) {
  host.server_address = TG_NO_SERVER_ADDRESS;  // no game server: requests wait in their slots
  Cycle(1);
  Client().screenshots.sequence = 1;
  for (int i = 0; i < 12; ++i) Run("tg_GetSs");
  ScreenshotSlot* slots = Client().screenshots.slots;
  slots[0].state = kSlotSending;  // the oldest is sending: the next oldest goes
  Run("tg_GetSs");
  EXPECT_EQ(slots[0].sequence, 1u);
  EXPECT_EQ(slots[1].sequence, 13u);
  EXPECT_EQ(slots[1].state, kSlotCapture);
}

TEST_F(Screenshot, DisplayFailuresAreRetriedFiveTimesThenReported) {
  display->window.show_state = 2;  // minimised: not in front
  Client().screenshots.sequence = 9;
  ASSERT_TRUE(DeliverPlain("I0 0 4 64 48 50 50 1"));
  ScreenshotSlot& slot = Client().screenshots.slots[0];
  for (int attempt = 1; attempt <= 4; ++attempt) {
    Serve(2);
    EXPECT_EQ(slot.attempts, attempt);
    EXPECT_EQ(slot.state, kSlotCapture);
  }
  Serve(2);
  EXPECT_EQ(slot.attempts, 5);
  ServeUntil(slot, kSlotEncoding);  // composed without a picture
  ASSERT_NE(slot.capture, nullptr);
  EXPECT_EQ(slot.capture->direct_draw, 0);
  EXPECT_NE(std::string(slot.capture->text).find("Result: game window not in front"), std::string::npos);
  Flush();
  bool reported = false;
  for (const PeerFrame& frame : TakeFrames()) reported |= frame.Text() == "BF9 game window not in front";
  EXPECT_TRUE(reported);
  EXPECT_GE(Client().screenshots.foreground.not_in_front, 5u);
}

TEST_F(Screenshot, SurfaceThatChangesBeforeTheCopyIsMeasuredAgain) {
  // Between the cycle that plans the area and the one that copies it the
  // game may change its display mode or its window.
  struct Change {
    const char* what;
    int width, height, bits;
    bool window_follows;
    int attempts;  // failed attempts before the copy that succeeds
  };
  const Change changes[] = {
      {"smaller surface, window as before", 200, 150, 32, false, 0},
      {"smaller surface and window", 200, 150, 32, true, 0},
      {"16-bit pixels", 1024, 768, 16, true, 1},
      {"8-bit pixels, tiny", 16, 16, 8, true, 1},
  };
  for (const Change& change : changes) {
    FreeScreenshotSlots();
    SetDisplay(1024, 768, 32);
    PlatformDisplayClose();
    Client().screenshots.display = DisplayState();
    Run("tg_GetSs");
    ScreenshotSlot& slot = Client().screenshots.slots[0];
    for (int i = 0; i < 20 && !(slot.capture != nullptr && slot.capture->capture_phase == kCaptureClearing); ++i)
      Cycle(60);
    ASSERT_EQ(slot.capture->capture_phase, kCaptureClearing) << change.what;
    const PlatformWindowFacts window = display->window;
    SetDisplay(change.width, change.height, change.bits);
    if (!change.window_follows) display->window = window;
    ServeUntil(slot, kSlotDone);
    EXPECT_EQ(slot.state, kSlotDone) << change.what;
    EXPECT_EQ(slot.attempts, change.attempts) << change.what;
    EXPECT_EQ(slot.capture->direct_draw, 1) << change.what;
  }
}

TEST(ScreenshotMemory, LargeBlocksAreKeptForReuseWithinTheirCaps) {
  DropSpareScreenshotMemory();
  // A large block given back serves the next request that it fits, from
  // half its size up; a small one goes back to the system.
  void* large = AllocateScreenshotMemory(100000);
  ASSERT_NE(large, nullptr);
  memset(large, 1, 100000);
  ReleaseScreenshotMemory(large);
  EXPECT_EQ(SpareScreenshotBytes(), 100000u);
  void* too_small_for_it = AllocateScreenshotMemory(40000);
  EXPECT_NE(too_small_for_it, large);
  void* fits = AllocateScreenshotMemory(80000);
  EXPECT_EQ(fits, large);
  EXPECT_EQ(SpareScreenshotBytes(), 0u);
  ReleaseScreenshotMemory(too_small_for_it);
  ReleaseScreenshotMemory(fits);
  EXPECT_EQ(SpareScreenshotBytes(), 100000u);
  // At most kSpareBlocks blocks and kSpareMaxBytes bytes are kept.
  std::vector<void*> blocks;
  for (int i = 0; i < kSpareBlocks + 4; ++i) blocks.push_back(AllocateScreenshotMemory(kSpareMinBytes));
  for (void* block : blocks) ReleaseScreenshotMemory(block);
  EXPECT_EQ(Client().screenshots.spare.count, kSpareBlocks);
  DropSpareScreenshotMemory();
  void* huge[2] = {AllocateScreenshotMemory(kSpareMaxBytes / 2 + 1), AllocateScreenshotMemory(kSpareMaxBytes / 2 + 1)};
  ReleaseScreenshotMemory(huge[0]);
  ReleaseScreenshotMemory(huge[1]);
  EXPECT_EQ(SpareScreenshotBytes(), kSpareMaxBytes / 2 + 1);
  DropSpareScreenshotMemory();
  EXPECT_EQ(SpareScreenshotBytes(), 0u);
}

TEST(ScreenshotMemory, FreshBlocksAreReadiedAShareACallAndStayReady) {
  DropSpareScreenshotMemory();
  const size_t size = 3 * kWarmBytesPerCycle + 100;
  uint8_t* block = static_cast<uint8_t*>(AllocateScreenshotMemory(size));
  ASSERT_NE(block, nullptr);
  for (size_t at : {size_t{0}, size_t{4095}, kWarmBytesPerCycle, size - 1}) block[at] = static_cast<uint8_t>(at | 1);
  Client().screenshots.readying = 0;
  int shares = 0;
  while (!WarmScreenshotMemory(block, size) && shares < 10) ++shares;
  EXPECT_EQ(shares, 4);  // three whole shares and the rest
  EXPECT_EQ(Client().screenshots.readying, 1);
  for (size_t at : {size_t{0}, size_t{4095}, kWarmBytesPerCycle, size - 1})
    EXPECT_EQ(block[at], static_cast<uint8_t>(at | 1)) << "readying changed byte " << at;
  // A kept block is ready for its next user at once.
  ReleaseScreenshotMemory(block);
  void* again = AllocateScreenshotMemory(size);
  EXPECT_EQ(again, block);
  EXPECT_TRUE(WarmScreenshotMemory(again, size));
  ReleaseScreenshotMemory(again);
  DropSpareScreenshotMemory();
  // The CRC of the standard's check text.
  const char check[] = "123456789";
  EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, 9, reinterpret_cast<const uint8_t*>(check)), 0xCBF43926u);
}

TEST_F(Screenshot, FirstScreenshotReadiesItsMemoryBetweenCycles) {
  // The same first screenshot, once with ca called only when a cycle is
  // due and once with the game's frames between cycles: the frames ready
  // the fresh memory, so the screenshot needs fewer cycles.
  int cycles[2] = {0, 0};
  for (int frames : {0, 1}) {
    FreeScreenshotSlots();  // no kept memory: every block is fresh
    Run("tg_GetSs");
    const ScreenshotSlot& slot = Client().screenshots.slots[0];
    for (int i = 0; i < 2000 && slot.state != kSlotDone; ++i) {
      Cycle(60);
      ++cycles[frames];
      if (frames == 1)
        for (int f = 0; f < 3; ++f) {
          TestClock::now += 1;
          ca(&host.record, 0);
        }
    }
    EXPECT_EQ(slot.state, kSlotDone);
    // With nothing left to ready, a call between cycles finds nothing to do.
    TestClock::now += 1;
    ca(&host.record, 0);
    EXPECT_EQ(Client().screenshots.readying, 0);
  }
  EXPECT_LT(cycles[1] + 20, cycles[0]) << cycles[0] << " and " << cycles[1] << " cycles";
}

TEST(ReferenceHostScreen, AnswersEachScreenCode) {
  FakeHost host;
  host.screen_width = 800;
  host.screen_height = 600;
  const bool addresses_fit = sizeof(void*) == sizeof(int32_t);
  EXPECT_EQ(host.record.host_screen_info(TG_SCREEN_WIDTH, 0), 800);
  EXPECT_EQ(host.record.host_screen_info(TG_SCREEN_HEIGHT, 0), 600);
  EXPECT_EQ(host.record.host_screen_info(TG_SCREEN_HAS_PIXELS, 0), addresses_fit ? 1 : 0);
  EXPECT_EQ(host.record.host_screen_info(TG_SCREEN_BUFFER, 1234), 1234);
  EXPECT_EQ(host.record.host_screen_info(TG_SCREEN_READ_PIXELS, 0) != 0, addresses_fit);
  EXPECT_EQ(host.record.host_screen_info(99, 0), 0);
  host.offer_pixels = false;
  EXPECT_EQ(host.record.host_screen_info(TG_SCREEN_HAS_PIXELS, 0), 0);
  EXPECT_EQ(host.record.host_screen_info(TG_SCREEN_READ_PIXELS, 0), 0);
}

// The host's pixels after five failed display attempts: only a 32-bit
// module can take them (addresses travel as 32-bit values).
class HostRoute : public ConnectedTest {};

TEST_F(HostRoute, PixelsOfTheGameAppearOnTheCanvas) {
  if (sizeof(void*) != sizeof(int32_t)) GTEST_SKIP() << "host pixels need 32-bit addresses";
  if (PlatformTestDisplay() != nullptr) PlatformTestDisplay()->available = 0;  // the display route fails
  host.record.key_c = 0;
  host.screen_width = 320;
  host.screen_height = 200;
  Client().protocol.connection.frames_received = 1;
  Client().screenshots.sequence = 12;
  ASSERT_TRUE(DeliverPlain("I0 0 7 64 40 50 50 2"));
  ScreenshotSlot& slot = Client().screenshots.slots[0];
  for (int i = 0; i < 600 && slot.state == kSlotCapture; ++i) Cycle(60);
  ASSERT_NE(slot.capture, nullptr);
  const CaptureImage& capture = *slot.capture;
  EXPECT_EQ(capture.host_route, 1);
  EXPECT_NE(std::string(capture.text).find("Capture: Host 32x20 of 64x40, rate 2"), std::string::npos) << capture.text;
  // The area is centred: from (128, 80); every second pixel and row.
  const size_t row_bytes = 1 + 3 * static_cast<size_t>(capture.canvas_width);
  for (int sy : {0, 7, 19})
    for (int sx : {0, 5, 31}) {
      const uint8_t* p = capture.canvas + static_cast<size_t>(capture.margin_top + sy) * row_bytes + 1 +
                         3 * static_cast<size_t>(capture.margin_left + sx);
      const int x = 128 + 2 * sx, y = 80 + 2 * sy;
      EXPECT_EQ(p[0], static_cast<uint8_t>(x)) << sx << "," << sy;
      EXPECT_EQ(p[1], static_cast<uint8_t>(y)) << sx << "," << sy;
      EXPECT_EQ(p[2], static_cast<uint8_t>(x + y)) << sx << "," << sy;
    }
}

TEST(HostPixels, AreSampledTopSideUpLikeTheScreen) {
  // 4 x 4 pixels, bottom row first; each pixel's red byte is 10 x row from
  // the top plus its column.
  std::vector<uint8_t> pixels(4 * 4 * 3);
  for (int row = 0; row < 4; ++row)
    for (int x = 0; x < 4; ++x) pixels[((3 - row) * 4 + x) * 3] = static_cast<uint8_t>(10 * row + x);
  CaptureImage capture = CaptureImage();
  ASSERT_TRUE(SampleHostPixels(capture, pixels.data(), 4, 4, 2));
  EXPECT_EQ(capture.sampled_width, 2);
  EXPECT_EQ(capture.sampled_height, 2);
  const uint8_t expected[2][2] = {{0, 2}, {20, 22}};
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(capture.raw[y * 7], 0);
    for (int x = 0; x < 2; ++x) EXPECT_EQ(capture.raw[y * 7 + 1 + 3 * x], expected[y][x]) << x << "," << y;
  }
  ReleaseScreenshotMemory(capture.raw);
}

TEST_F(Screenshot, ServerRequestsWaitForTheHelloWhilePlayersDoNot) {
  ASSERT_EQ(Client().screenshots.sequence, 0u);
  EXPECT_TRUE(DeliverPlain("I0 0 5 64 48 50 50 1"));
  EXPECT_EQ(Client().screenshots.slots[0].state, kSlotFree);
  Run("tg_GetSs");
  EXPECT_EQ(Client().screenshots.slots[0].state, kSlotCapture);
  EXPECT_EQ(Client().screenshots.slots[0].sequence, 0u);
}

TEST_F(Screenshot, FileThatCannotBeCreatedIsReported) {
  std::filesystem::remove_all(HomeFile("scrnshot"));
  std::ofstream(HomeFile("scrnshot")) << "a file where the folder should be";
  Run("tg_GetSs");
  ServeUntil(Client().screenshots.slots[0], kSlotDone);
  EXPECT_TRUE(host.Printed("ERROR Creating Screenshot file " + ModulePath("scrnshot\\0304_000.png")));
}

TEST_F(Screenshot, SlicedEncodingGivesTheStreamOfOneCompressCall) {
  Client().screenshots.sequence = 30;
  host.record.key_c = 0;
  uint32_t noise = 12345;
  for (const char* content : {"black", "gradient", "noise"}) {
    for (size_t i = 0; i < 1024u * 768u * 4u; ++i) {
      noise = noise * 1103515245u + 12345u;
      display->pixels[i] = content[0] == 'b' ? 0 : content[0] == 'g' ? static_cast<uint8_t>(i / 4096) : noise >> 24;
    }
    FreeScreenshotSlots();
    ASSERT_TRUE(DeliverPlain("I0 0 3 280 280 50 50 1"));
    ScreenshotSlot& slot = Client().screenshots.slots[0];
    ServeUntil(slot, kSlotEncoding);
    ASSERT_NE(slot.capture, nullptr);
    const std::vector<uint8_t> canvas(slot.capture->canvas, slot.capture->canvas + slot.capture->canvas_size);
    int calls = 0;
    while (slot.state == kSlotEncoding && calls < 1000) {
      EncodeScreenshot(&host.record, slot, TestClock::now);
      ++calls;
    }
    ASSERT_EQ(slot.state, kSlotSending) << content;
    EXPECT_GT(calls, static_cast<int>(canvas.size()) / EncodeSliceBytes(static_cast<int32_t>(canvas.size())))
        << content;
    uLongf n = compressBound(static_cast<uLong>(canvas.size()));
    std::vector<uint8_t> once(n);
    ASSERT_EQ(compress(once.data(), &n, canvas.data(), static_cast<uLong>(canvas.size())), Z_OK);
    once.resize(n);
    // The PNG's IDAT data is that stream, byte for byte.
    const std::vector<uint8_t> png(slot.capture->canvas, slot.capture->canvas + slot.capture->canvas_size);
    const size_t text = Big32(&png[33]);
    const size_t idat = 33 + 12 + text;
    ASSERT_EQ(std::string(png.begin() + static_cast<long>(idat) + 4, png.begin() + static_cast<long>(idat) + 8),
              "IDAT");
    EXPECT_EQ(std::vector<uint8_t>(png.begin() + static_cast<long>(idat) + 8,
                                   png.begin() + static_cast<long>(idat) + 8 + static_cast<long>(Big32(&png[idat]))),
              once)
        << content;
#ifdef TG_HAVE_LIBPNG
    // libpng reads back every pixel of the canvas (whose rows lead with
    // their filter byte).
    uint32_t width = 0, height = 0;
    const std::vector<uint8_t> pixels = DecodeWithLibpng(png, &width, &height);
    ASSERT_EQ(width, static_cast<uint32_t>(slot.capture->canvas_width)) << content;
    ASSERT_EQ(height, static_cast<uint32_t>(slot.capture->canvas_height)) << content;
    for (uint32_t y = 0; y < height; ++y)
      ASSERT_EQ(memcmp(&pixels[3 * width * y], &canvas[(1 + 3 * width) * y + 1], 3 * width), 0)
          << content << ", row " << y;
#endif
    SeededMd5 whole;
    whole.Digest(png.data(), static_cast<int32_t>(png.size()), 0);
    EXPECT_EQ(memcmp(slot.capture->digest, whole.DigestBytes(), 16), 0) << content;
  }
}

TEST_F(Screenshot, ServerScreenshotsAreLoggedAndSavedAsThePlayerChooses) {
  host.record.key_c = 0;
  Client().screenshots.sequence = 40;
  ASSERT_TRUE(DeliverPlain("I0 0 12 64 48 50 50 1"));  // tg_SsLog is 1, tg_SsSave 0
  ServeUntil(Client().screenshots.slots[0], kSlotSending);
  char digest[33];
  for (int i = 0; i < 16; ++i) snprintf(digest + 2 * i, 3, "%02X", Client().screenshots.slots[0].capture->digest[i]);
  std::vector<uint8_t> log = ReadFile(HomeFile("tgsslog.htm"));
  EXPECT_EQ(std::string(log.begin(), log.end()),
            std::string("<p> 0304 (Not Saved) tg000012.png [09:05:07] MD5=") + digest + " 127.0.0.1:27960 \r\n");
  EXPECT_FALSE(std::filesystem::exists(HomeFile("scrnshot/0304_000.png")));

  Run("tg_SsSave 1");
  host.cvars["name"] = "Player";
  ASSERT_TRUE(DeliverPlain("I0 0 13 64 48 50 50 1"));
  ScreenshotSlot* second = nullptr;
  for (ScreenshotSlot& slot : Client().screenshots.slots)
    if (slot.request_number == 13) second = &slot;
  ASSERT_NE(second, nullptr);
  ServeUntil(*second, kSlotSending);
  const std::vector<uint8_t> png = ReadFile(HomeFile("scrnshot/0304_000.png"));
  EXPECT_TRUE(Decode(png).ok);
  log = ReadFile(HomeFile("tgsslog.htm"));
  const std::string text(log.begin(), log.end());
  EXPECT_NE(text.find("<p> <a href=scrnshot\\0304_000.htm target=_blank>scrnshot\\0304_000.png</a> tg000013.png"),
            std::string::npos);
  EXPECT_NE(text.find(" 127.0.0.1:27960 "), std::string::npos);
}

// The player's name and the server's address come from the host and the
// network; the log page, which the player opens in a browser, shows them as
// text.
TEST_F(Screenshot, HostTextsInTheLogAreWrittenAsText) {
  host.record.key_c = 0;
  Client().screenshots.sequence = 60;
  host.cvars["name"] = "<script>alert(1)</script>";
  ASSERT_TRUE(DeliverPlain("I0 0 14 64 48 50 50 1"));  // logged as not saved
  ServeUntil(Client().screenshots.slots[0], kSlotSending);
  Run("tg_SsSave 1");
  host.cvars["name"] = "<img src=x onerror='alert(2)'>&";
  ASSERT_TRUE(DeliverPlain("I0 0 15 64 48 50 50 1"));  // saved and linked
  for (const ScreenshotSlot& slot : Client().screenshots.slots)
    if (slot.request_number == 15) ServeUntil(slot, kSlotSending);
  const std::vector<uint8_t> log = ReadFile(HomeFile("tgsslog.htm"));
  const std::string text(log.begin(), log.end());
  EXPECT_NE(text.find(" 127.0.0.1:27960 &lt;script&gt;alert(1)&lt;/script&gt;\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" 127.0.0.1:27960 &lt;img src=x onerror=&#39;alert(2)&#39;&gt;&amp;\r\n"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("<script"), std::string::npos);
  EXPECT_EQ(text.find("<img"), std::string::npos);
  EXPECT_EQ(ReadFile(HomeFile("scrnshot/0304_000.htm")).size(), strlen("<p> <img src=0304_000.png>\r\n"));
}

// Saved screenshots keep their names: the first free number of the day is
// taken, also after the game starts again, and when the day's numbers run
// out the player is told and nothing is overwritten.
TEST_F(Screenshot, SavedScreenshotsNeverOverwriteEarlierOnes) {
  WriteHome("scrnshot/0304_000.png", "saved by an earlier run");
  WriteHome("scrnshot/0304_001.htm", "page of an earlier run");
  Run("tg_GetSs");
  ServeUntil(Client().screenshots.slots[0], kSlotDone);
  EXPECT_TRUE(host.Printed("Screenshot saved to " + ModulePath("scrnshot\\0304_002.png")));
  EXPECT_EQ(ReadHome("scrnshot/0304_000.png"), "saved by an earlier run");
  EXPECT_EQ(ReadHome("scrnshot/0304_001.htm"), "page of an earlier run");
  EXPECT_FALSE(std::filesystem::exists(HomeFile("scrnshot/0304_001.png")));

  // Every name of the day taken: nothing is overwritten, and the player is told.
  char name[32];
  for (int n = 0; n < 1000; ++n) {
    snprintf(name, sizeof name, "scrnshot/0304_%03d.png", n);
    if (!std::filesystem::exists(HomeFile(name))) WriteHome(name, "the day's");
  }
  const size_t log_size = ReadFile(HomeFile("tgsslog.htm")).size();
  host.ClearPrints();
  Run("tg_GetSs");
  ServeUntil(Client().screenshots.slots[1], kSlotDone);
  EXPECT_TRUE(host.Printed("Screenshot not saved: the 1000 names of the day (scrnshot\\0304_NNN.png) are taken"));
  EXPECT_EQ(ReadHome("scrnshot/0304_999.png"), "the day's");
  EXPECT_EQ(ReadHome("scrnshot/0304_000.png"), "saved by an earlier run");
  EXPECT_EQ(ReadFile(HomeFile("tgsslog.htm")).size(), log_size);
  // The next day has its names again; the counter goes on where it stood.
  PlatformSetLocalTimeSource([](PlatformLocalTime* out) { *out = {2026, 3, 5, 0, 0, 1}; });
  host.ClearPrints();
  Run("tg_GetSs");
  ServeUntil(Client().screenshots.slots[2], kSlotDone);
  EXPECT_TRUE(host.Printed("Screenshot saved to " + ModulePath("scrnshot\\0305_003.png")));
}

namespace {

// Fails the module's nth allocation, counting from when it is set.
int g_allocations = 0;
int g_fail_at = 0;
bool FailNth(size_t, const void*) { return ++g_allocations != g_fail_at; }

}  // namespace

TEST_F(Screenshot, EveryFailedAllocationIsSurvived) {
  host.record.key_c = 0;
  Client().screenshots.sequence = 50;
  MemorySetFailureHook(FailNth);
  // A server screenshot and a local one, with the nth allocation failing
  // (0: none, to count them): each ends, uploaded, saved or dropped.
  int total = 0;
  for (int n = 0; n == 0 || n <= total; ++n) {
    FreeScreenshotSlots();
    g_allocations = 0;
    g_fail_at = n;
    // The event copies come from the same allocator: an event that finds no
    // memory is refused to the host (TG_ERROR_OVERFLOW) and never taken.
    const Bytes request = PeerPlainFrame(Client().channel.client_ident, ToBytes("I0 0 3 64 48 50 50 1"));
    const std::string line = "tg_GetSs";
    cb(&host.record, TG_EVENT_SERVER_PACKET, static_cast<int32_t>(request.size()), request.data(), 0);
    cb(&host.record, TG_EVENT_CONSOLE_LINE, static_cast<int32_t>(line.size()), line.c_str(), 0);
    Cycle(250);
    Cycle(250);
    const ScreenshotSlot* slots = Client().screenshots.slots;
    for (int i = 0; i < 1000 && !((slots[0].state == kSlotFree || slots[0].state == kSlotDone) &&
                                  (slots[1].state == kSlotFree || slots[1].state == kSlotDone));
         ++i)
      Cycle(250);
    EXPECT_TRUE(slots[0].state == kSlotFree || slots[0].state == kSlotDone) << "failing allocation " << n;
    EXPECT_TRUE(slots[1].state == kSlotFree || slots[1].state == kSlotDone) << "failing allocation " << n;
    if (n == 0) {
      total = g_allocations;
      ASSERT_GE(total, 8);  // capture, buffers and deflate's state, twice
      EXPECT_EQ(slots[0].state, kSlotDone);
      EXPECT_EQ(slots[1].state, kSlotDone);
    }
  }
  // Then, with memory to spare, the next screenshot is whole again.
  MemorySetFailureHook(nullptr);
  FreeScreenshotSlots();
  host.ClearPrints();
  Run("tg_GetSs");
  ServeUntil(Client().screenshots.slots[0], kSlotDone);
  ASSERT_EQ(Client().screenshots.slots[0].state, kSlotDone);
  EXPECT_EQ(host.prints.size(), 1u);
  EXPECT_NE(host.prints.back().find("Screenshot saved to "), std::string::npos) << host.prints.back();
}
