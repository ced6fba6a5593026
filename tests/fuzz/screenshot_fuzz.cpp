// Screenshots under hostile requests: the first bytes shape the display
// (pixel format, size, pitch, window place and state), the rest are lines of
// server payloads and events, each led by a letter:
//   I  a screenshot request       S  a send list (kind 0x01)
//   O  a restart packet           W  the game window in front or not
//   C  twenty cycles of the module
// After the lines the module runs until its uploads can have finished.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_module.h"
#include "screenshot/delivery.h"

namespace {

const int32_t kBits[] = {8, 15, 16, 24, 32, 32};

int32_t Word(const uint8_t* p) { return p[0] | (p[1] << 8); }

void ShapeDisplay(const uint8_t* p) {
  PlatformStandInDisplay* display = PlatformTestDisplay();
  display->available = (p[0] & 0x80) == 0;
  display->content_set = 1;
  display->bits_per_pixel = kBits[p[0] % 6];
  display->packed_32 = (p[0] & 0x40) != 0;
  // Up to a few capture slices: odd sizes and several cycles of work, at a
  // pace that lets a run reach millions of inputs.
  display->width = 1 + Word(p + 1) % 400;
  display->height = 1 + Word(p + 3) % 300;
  display->pitch = (p[5] & 1) != 0 ? display->width * ((display->bits_per_pixel + 7) / 8) + p[5] / 2 : 0;
  for (int i = 0; i < 256; ++i) display->palette[i][i % 3] = static_cast<uint8_t>(i * 7);
  PlatformWindowFacts& window = display->window;
  window.ours = 1;
  window.show_state = (p[6] & 1) != 0 ? 0 : 1;
  window.left = static_cast<int8_t>(p[7]) * 4;
  window.top = static_cast<int8_t>(p[8]) * 4;
  window.right = window.left + p[9] * 6 - 8;
  window.bottom = window.top + p[10] * 4 - 8;
  const size_t bytes = sizeof display->pixels;
  for (size_t i = 0; i < bytes; i += 4093) display->pixels[i] = static_cast<uint8_t>(i >> 5);
}

// A slot is being captured, encoded, sent or saved.
bool SlotsAtWork() {
  for (const ScreenshotSlot& slot : Screenshots().slots)
    if (slot.state != kSlotFree && slot.state != kSlotDone) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzModule* module = FuzzModule::Shared();
  const size_t kShape = 11;
  if (size < kShape || size > 4000) return 0;
  HostInterface* host = module->Host();
  screenshot::FreeScreenshotSlots();
  PlatformDisplayClose();
  Client().screenshots.display = DisplayState();
  ShapeDisplay(data);
  screenshot::SetScreenshotSequence(5);
  Client().protocol.connection.frames_received = 1;
  host->key_c = 0;

  std::vector<uint8_t> line;
  for (size_t i = kShape; i <= size; ++i) {
    if (i < size && data[i] != '\n') {
      line.push_back(data[i]);
      continue;
    }
    if (!line.empty()) {
      const int32_t length = static_cast<int32_t>(line.size()) - 1;
      uint8_t* argument = line.data() + 1;
      switch (line[0]) {
        case 'I':
          screenshot::HandleScreenshotPacket(host, 'I', argument, length, TestClock::now);
          break;
        case 'S':
          screenshot::HandleScreenshotPacket(host, 0x01, argument, length, TestClock::now);
          break;
        case 'O':
          screenshot::HandleScreenshotRestart(argument, length);
          break;
        case 'W':
          PlatformTestDisplay()->window.show_state ^= 1;
          break;
        case 'C':
          module->Cycles(20);
          break;
        default:
          break;
      }
    }
    line.clear();
  }
  // Until the uploads can have finished; a few more rounds once the slots are
  // quiet let delayed requests and resends come due.
  for (int round = 0, quiet = 0; round < 20 && quiet < 3; ++round) {
    module->Cycles(20);
    quiet = SlotsAtWork() ? 0 : quiet + 1;
  }
  return 0;
}
