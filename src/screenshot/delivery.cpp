#include "screenshot/delivery.h"

#include "core/client_state.h"

void FreeScreenshotSlots() {
  for (ScreenshotSlot& slot : Client().screenshots.slots) slot = ScreenshotSlot();
}

// Screenshots cannot be taken yet: requests are not kept, so there is
// nothing to serve.
void HandleScreenshotPacket(HostInterface*, uint8_t, uint8_t*, int32_t) {}
void QueueServerScreenshot(HostInterface*, int32_t, const char*) {}
void ServeScreenshots(HostInterface*, uint32_t) {}
void QueueLocalScreenshot(uint32_t, const char*) {}
