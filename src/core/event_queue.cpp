#include "core/event_queue.h"

#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "core/core_state.h"
#include "platform/platform.h"
#include "routing/console_words.h"
#include "routing/frame_router.h"
#include "settings/player_settings.h"
#include "util/elapsed.h"
#include "util/memory.h"

EventQueue::~EventQueue() {
  MemoryFree(in_hand);
  for (HostEvent& record : records) {
    MemoryFree(record.data);
    record.data = nullptr;
  }
}

const char* QueueEvent(int32_t code, int32_t length, const void* data, int32_t retries) {
  EventQueue& queue = Events();
  if (queue.count >= kEventQueueSize) return TG_ERROR_OVERFLOW;
  uint8_t* copy = nullptr;
  if (data != nullptr) {
    size_t bytes = length > 0 ? static_cast<size_t>(length) : 0;
    copy = static_cast<uint8_t*>(MemoryAllocate(bytes + 1));
    // Without memory for the copy the event cannot be kept: refuse it as if
    // the queue were full, so the host learns that it was dropped.
    if (copy == nullptr) return TG_ERROR_OVERFLOW;
    if (bytes > 0) memcpy(copy, data, bytes);
    copy[bytes] = '\0';
  } else {
    length = 0;
  }
  HostEvent& record = queue.records[queue.count];
  MemoryFree(record.data);  // never set for a free record; kept safe all the same
  record.code = code;
  record.length = data != nullptr ? length : 0;
  record.data = copy;
  record.retries = retries;
  ++queue.count;
  return nullptr;
}

void HandleEvent(HostInterface* host, int32_t index, uint32_t now) {
  EventQueue& queue = Events();
  // Take the copy out of the record first: a re-queued event may land in the
  // same record (single-event handling) and gets a fresh copy of its own.
  const HostEvent event = queue.records[index];
  queue.records[index].data = nullptr;
  queue.in_hand = event.data;
  if (Core().fault_injection != nullptr) Core().fault_injection(FaultPlace::kEventHandler);
  bool handled = false;
  bool droppable = false;
  switch (event.code) {
    case TG_EVENT_SERVER_PACKET:
      handled = ReceiveFrame(host, event.length, event.data, now) != 0;
      break;
    case TG_EVENT_CONSOLE_LINE:
      DispatchLine(host, event.length, reinterpret_cast<char*>(event.data), 0, 1, now);
      handled = true;
      break;
    case TG_EVENT_IGNORED_15:
    case TG_EVENT_IGNORED_16:
      droppable = true;
      break;
    default:
      break;
  }
  if (!handled && !droppable && event.retries > 0) QueueEvent(event.code, event.length, event.data, event.retries - 1);
  queue.in_hand = nullptr;
  MemoryFree(event.data);
}

namespace {

// Removes the first handled records, keeping the order of the rest.
void DropFront(EventQueue& queue, int32_t handled) {
  if (handled <= 0) return;
  if (handled < queue.count) {
    memmove(queue.records, queue.records + handled, static_cast<size_t>(queue.count - handled) * sizeof(HostEvent));
    queue.count -= handled;
  } else {
    queue.count = 0;
  }
  // The slots past the count no longer own anything.
  for (int32_t i = queue.count; i < queue.count + handled && i < kEventQueueSize; ++i) queue.records[i].data = nullptr;
}

}  // namespace

void WalkEvents(HostInterface* host, int32_t budget_ms) {
  EventQueue& queue = Events();
  CoreState& core = Core();
  const int32_t present = queue.count;
  ++core.event_walks;
  const uint32_t start = PlatformTick();
  StartCycleFrameCount();
  int32_t handled = 0;
  queue.handling_in_walk = 1;
  for (int32_t i = 0; i < present; ++i) {
    const uint32_t now = PlatformTick();
    if (budget_ms != 0 && ElapsedMs(now, start) >= budget_ms) break;
    queue.handling = i;
    HandleEvent(host, i, now);
    handled = i + 1;
    if (FramesSentThisCycle() > 4) break;
    if (!core.enabled_snapshot && ModuleEnabled()) break;
  }
  queue.handling = -1;
  queue.handling_in_walk = 0;
  DropFront(queue, handled);
}

void HandleLatestEvent(HostInterface* host, uint32_t now) {
  EventQueue& queue = Events();
  if (queue.count <= 0) return;
  --queue.count;
  queue.handling = queue.count;
  queue.handling_in_walk = 0;
  HandleEvent(host, queue.count, now);
  queue.handling = -1;
}

void RecoverEventsAfterFault() {
  EventQueue& queue = Events();
  const int32_t index = queue.handling;
  if (index < 0) return;
  MemoryFree(queue.in_hand);
  queue.in_hand = nullptr;
  if (queue.handling_in_walk) DropFront(queue, index + 1);
  queue.handling = -1;
  queue.handling_in_walk = 0;
}
