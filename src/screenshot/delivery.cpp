#include "screenshot/delivery.h"

#include "console/console.h"
#include "util/text.h"

namespace {

// A slot restarted this often keeps its place in the upload.
const int32_t kMostRestarts = 20;

}  // namespace

void FreeScreenshotSlots() {
  for (ScreenshotSlot& slot : Screenshots().slots) slot = ScreenshotSlot();
}

int FirstScreenshotSlotFree() { return Screenshots().slots[0].sequence == 0; }

void HandleScreenshotRestart(const uint8_t* argument, int32_t length) {
  if (length < 3 || argument[0] != 'P' || argument[1] != 'N' || argument[2] != 'G') {
    const unsigned b0 = length > 0 ? argument[0] : 0, b1 = length > 1 ? argument[1] : 0;
    const unsigned b2 = length > 2 ? argument[2] : 0;
    ConsolePrint(0, "Invalid Restart Packet: %x %x %x", b0, b1, b2);
    return;
  }
  if (length < 4) return;  // no tag letter
  const char tag = static_cast<char>(argument[3]);
  for (ScreenshotSlot& slot : Screenshots().slots) {
    if (slot.tag != tag || slot.sequence == 0) continue;
    ++slot.restart_count;
    if (slot.restart_count < kMostRestarts)
      slot.next_piece =
          (length > 4 && argument[4] == '-') ? 0 : ReadDigits(reinterpret_cast<const char*>(argument) + 4);
  }
}

const ScreenshotOptions& LocalScreenshotOptions() { return Screenshots().options; }

bool SetLocalScreenshotOptions(const ScreenshotOptions& wanted) {
  const bool valid = wanted.width >= 10 && wanted.height >= 10 && wanted.x >= 0 && wanted.x <= 100 && wanted.y >= 0 &&
                     wanted.y <= 100 && wanted.srate >= 1 && wanted.srate <= 4;
  if (valid) Screenshots().options = wanted;
  return valid;
}

// Screenshots cannot be taken yet: requests are not kept, so there is
// nothing to serve.
void HandleScreenshotPacket(HostInterface*, uint8_t, uint8_t*, int32_t) {}
void QueueServerScreenshot(HostInterface*, int32_t, const char*) {}
void ServeScreenshots(HostInterface*, uint32_t) {}
void QueueLocalScreenshot(uint32_t, const char*) {}
