#include "core/cycle.h"

#include "channel/framing.h"
#include "console/reg_names.h"
#include "core/core_state.h"
#include "core/event_queue.h"
#include "core/initialise.h"
#include "core/main_work.h"
#include "integrity/integrity.h"
#include "output/console.h"
#include "platform/platform.h"
#include "protocol/connection.h"
#include "routing/console_words.h"
#include "screenshot/delivery.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/elapsed.h"
#include "util/memory.h"
#include "util/text.h"

namespace {

// The connection duty runs only in a call that is still within this many ms
// of its tick.
const int32_t kConnectionDutyWindowMs = 10;
// The player's GUID is asked for from this watch call on.
const uint32_t kGuidFromCall = 4;

// Runs on every ca call with a budget of 0 or more, before the interval check.
void WatchConnection(HostInterface* host, uint32_t now) {
  CoreState& core = Core();
  if (!core.initialised || core.halted) return;
  ++core.watch_calls;

  char text[TG_QUERY_BUFFER_SIZE];
  if (core.watch_calls >= kGuidFromCall && PlayerGuid()[0] == '\0' && ReadHostText(host, TG_GUID_CVAR, text))
    SetPlayerGuid(text);

  if (!core.game_version_shown) {
    core.game_version_shown = 1;
    if (!ReadHostText(host, "version", text)) CopyBounded(text, "unknown", sizeof text - 1);
    ConsolePrint(0, "Game Version [%s]", text);
  }

  text[0] = '\0';
  QueryHost(host, TG_QUERY_SERVER_ADDRESS, text);
  if (protocol::ServerAddressChanged(text)) {
    const int connected = protocol::ResetConnection(text);
    screenshot::FreeScreenshotSlots();
    integrity::MakeExchangeDutyDue(now);
    console::ReloadRegisteredNames(host, now);
    if (connected) {
      ConsolePrint(0, "Game server %s", text);
    } else {
      ConsolePrint(0, "No game server");
    }
    integrity::StartLongDuty(connected, now);
  }

  if (ModuleEnabled() && ServerConnected() && ElapsedMs(PlatformTick(), now) < kConnectionDutyWindowMs)
    integrity::RunConnectionDuty(host, now);
}

struct CycleWork {
  HostInterface* host;
  int32_t budget_ms;
  uint32_t now;
  bool main_work;
  bool walk_events;
};

void RunCycleWork(void* context) {
  const CycleWork& work = *static_cast<CycleWork*>(context);
  if (Core().fault_injection != nullptr) Core().fault_injection(FaultPlace::kCycle);
  if (work.main_work) MainWork(work.host, work.now);
  if (work.walk_events) WalkEvents(work.host, work.budget_ms);
}

struct LatestEvent {
  HostInterface* host;
  uint32_t now;
};

void HandleLatestEventGuarded(void* context) {
  const LatestEvent& event = *static_cast<LatestEvent*>(context);
  HandleLatestEvent(event.host, event.now);
}

void ReportFault() {
  RecoverEventsAfterFault();
  if (CurrentSettings().ignore_faults < 1) ConsolePrint(0, "O/S Exception Notice");
}

// Work that found no memory was not done: the player hears of it once a
// cycle, with how many requests failed.
void TellMemoryFailures() {
  CoreState& core = Core();
  const unsigned failures = MemoryFailureCount();
  if (!core.initialised || failures == core.memory_failures_told) return;
  const unsigned count = failures - core.memory_failures_told;
  core.memory_failures_told = failures;
  ConsolePrint(0, "Out of memory: %u request%s for memory failed, and the work that needed %s was not done", count,
               PluralS(count), count == 1 ? "it" : "them");
}

// A command handled in this call may ask for the next cycle at once.
void HonourCycleRequest() {
  if (TakeCycleRequest()) RunNextCycleAtOnce();
}

}  // namespace

intptr_t RunCycle(HostInterface* host, int32_t budget_ms) {
  CoreState& core = Core();
  RememberHost(host);
  const uint32_t now = PlatformTick();
  if (!Initialise(host, now)) return reinterpret_cast<intptr_t>(TG_ERROR_INIT);
  core.enabled_snapshot = ModuleEnabled();

  WatchConnection(host, now);
  const bool first = core.last_cycle_time == 0;
  if (!first && ElapsedMs(now, core.last_cycle_time) < CurrentSettings().sleep_ms) {
    // Between cycles, a screenshot's fresh memory is readied a share a call.
    if (core.initialised) screenshot::ReadyScreenshotMemory();
    return 0;
  }
  core.last_cycle_time = now;
  core.phase ^= 1;

  CycleWork work = {host, budget_ms, now, core.initialised && (core.phase == 0 || first), core.phase == 1 || first};
  if (PlatformRunGuarded(RunCycleWork, &work)) ReportFault();
  TellMemoryFailures();
  HonourCycleRequest();
  return 0;
}

void HandleOneEvent(HostInterface* host) {
  RememberHost(host);
  if (Events().count <= 0) return;
  LatestEvent event = {host, PlatformTick()};
  if (PlatformRunGuarded(HandleLatestEventGuarded, &event)) ReportFault();
  HonourCycleRequest();
}

void RunNextCycleAtOnce() { Core().last_cycle_time = 0; }

int ModuleHalted() { return Core().halted; }
