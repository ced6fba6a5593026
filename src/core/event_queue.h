// Host events are copied into a fixed queue by cb and handled later, in
// order, during the cycle that ca runs.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

const int kEventQueueSize = 256;

struct HostEvent {
  int32_t code;
  int32_t length;   // data bytes; 0 when the event carries none
  int32_t retries;  // further offers left after a handler declines
  uint8_t* data;    // module-owned copy of the bytes plus a NUL, or none
};

struct EventQueue {
  HostEvent records[kEventQueueSize] = {};
  int32_t count = 0;
  // Record being handled, so that a fault in its handler can be cleaned up.
  int32_t handling = -1;
  int handling_in_walk = 0;
  uint8_t* in_hand = nullptr;  // the copy of the event being handled

  EventQueue() = default;
  ~EventQueue();  // releases every copy, whatever the count
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;
};

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern EventQueue* const g_event_queue;
inline EventQueue& Events() { return *g_event_queue; }

// Adds an event with its own copy of the data. Gives none, or
// TG_ERROR_OVERFLOW when 256 events are queued (nothing changes then).
const char* QueueEvent(int32_t code, int32_t length, const void* data, int32_t retries);

// Handles the record at index at time now: code 13 to ReceiveFrame, 14 to
// DispatchLine, 15 and 16 dropped. A refused event or one without a handler
// is queued again while its retries last.
void HandleEvent(HostInterface* host, int32_t index, uint32_t now);

// One walk of the queue: the events present at its start, in order, until
// the budget (ms; 0 = none) is spent, more than 4 frames were sent, or the
// module became enabled during the walk. Handled records leave the queue.
// The tick is read before each event; each handler gets that reading.
void WalkEvents(HostInterface* host, int32_t budget_ms);

// Handles the most recently queued event alone.
void HandleLatestEvent(HostInterface* host, uint32_t now);

// After a fault ended a handler: drops the faulting event and, when it
// happened in a walk, the events handled before it; the rest stay queued.
void RecoverEventsAfterFault();
