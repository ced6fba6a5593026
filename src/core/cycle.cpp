#include "core/cycle.h"

#include <cstring>

#include "console/console.h"
#include "console/reg_names.h"
#include "core/client_state.h"
#include "core/event_queue.h"
#include "core/host_query.h"
#include "core/integrity.h"
#include "master/database.h"
#include "master/exchange.h"
#include "master/modules.h"
#include "master/transport.h"
#include "platform/platform.h"
#include "protocol/connection.h"
#include "protocol/framing.h"
#include "protocol/rules.h"
#include "protocol/wire_constants.h"
#include "screenshot/capture.h"
#include "screenshot/delivery.h"
#include "util/elapsed.h"
#include "util/text.h"

namespace {

const int32_t kMainWorkBudgetMs = 40;
const int32_t kCacheRequestPeriodMs = 30000;
const int32_t kHostReportPeriodMs = 30000;

// 1 when the host variable has a non-empty value.
int ReadHostText(HostInterface* host, const char* name, char* value) {
  return QueryHostCvar(host, name, value) == 0 && value[0] != '\0';
}

// Runs on every ca call with a budget of 0 or more, before the interval check.
void WatchConnection(HostInterface* host, uint32_t now) {
  ClientState& state = Client();
  if (!state.initialised || state.halted) return;
  ++state.watch_calls;

  char text[TG_QUERY_BUFFER_SIZE];
  if (state.watch_calls >= 4 && state.guid[0] == '\0' && ReadHostText(host, TG_GUID_CVAR, text))
    CopyBounded(state.guid, text, sizeof state.guid - 1);

  if (!state.game_version_shown) {
    state.game_version_shown = 1;
    if (!ReadHostText(host, "version", text)) CopyBounded(text, "unknown", sizeof text - 1);
    ConsolePrint(0, "Game Version [%s]", text);
  }

  text[0] = '\0';
  QueryHost(host, TG_QUERY_SERVER_ADDRESS, text);
  if (strcmp(text, state.connection.server_address) != 0) {
    ResetConnection(text, now);
    ReloadRegisteredNames(host);
    state.connected = text[0] != '\0' && !SameLetters(text, TG_NO_SERVER_ADDRESS);
    if (state.connected) {
      ConsolePrint(0, "Game server %s", text);
    } else {
      ConsolePrint(0, "No game server");
    }
    state.integrity.last_long_duty = state.connected ? now : 0;
  }

  if (state.enabled && state.connected && ElapsedMs(PlatformTick(), now) < 10) RunConnectionDuty(host, now);
}

// Every 30 s the host may have something to report; the game server is told
// that there is a report, not what it says.
void ReportToHost(HostInterface* host, uint32_t now) {
  CycleTimers& timers = Client().timers;
  if (timers.host_report != 0 && ElapsedMs(now, timers.host_report) < kHostReportPeriodMs) return;
  timers.host_report = now;
  char text[TG_QUERY_BUFFER_SIZE] = "";
  const intptr_t result = QueryHost(host, TG_QUERY_REPORT, text);
  if (result != 0 && text[0] != '\0') {
    char payload[8];
    wire::Unmask(wire::Text::kHostReport, payload, sizeof payload);
    QueuePayload(payload, static_cast<int32_t>(strlen(payload)) + 1, 1);
  }
}

struct CycleWork {
  HostInterface* host;
  int32_t budget_ms;
  bool main_work;
  bool walk_events;
};

void RunCycleWork(void* context) {
  const CycleWork& work = *static_cast<CycleWork*>(context);
  if (Client().fault_injection != nullptr) Client().fault_injection(FaultPlace::kCycle);
  if (work.main_work) MainWork(work.host);
  if (work.walk_events) WalkEvents(work.host, work.budget_ms);
}

void HandleLatestEventGuarded(void* context) { HandleLatestEvent(static_cast<HostInterface*>(context)); }

void ReportFault() {
  RecoverEventsAfterFault();
  if (Client().settings.ignore_faults < 1) ConsolePrint(0, "O/S Exception Notice");
}

}  // namespace

void MainWork(HostInterface* host) {
  ClientState& state = Client();
  const uint32_t t = PlatformTick();
  ++state.main_work_runs;
  if (state.pending_deletion[0] != '\0' && PlatformDeleteFile(state.pending_deletion))
    state.pending_deletion[0] = '\0';
  if (!state.enabled || state.halted) return;
  if (state.halt_deadline != 0 && ElapsedMs(t, state.halt_deadline) > 10000) state.halted = 1;
  if (state.watch_calls == 5) PrepareCaptureDevice(host);
  ServiceSocket(host);
  if (!state.connected) return;

  if (state.agent.version >= 1285 && state.agent.data.Count() == 0) TakeOverAgentData(host);
  CheckNextRule(host, t);
  ImportServerDatabaseOnce(host);
  CheckAfterImport(host);
  FlushQueue(host, t);
  if (ElapsedMs(PlatformTick(), t) >= kMainWorkBudgetMs) return;

  ProcessMasterTransfers(host, t);
  if (ElapsedMs(t, state.timers.cache_request) >= kCacheRequestPeriodMs) {
    state.timers.cache_request = t;
    if (state.settings.lan != 1) RequestMasterCache(host);
  }
  RunTimedDuties(host, t);
  ServeScreenshots(host, t);
  ReportToHost(host, t);
  QueryMasterWhenDue(host, t);
}

intptr_t RunCycle(HostInterface* host, int32_t budget_ms) {
  ClientState& state = Client();
  state.host = host;
  if (!Initialise(host)) return reinterpret_cast<intptr_t>(TG_ERROR_INIT);
  state.enabled_snapshot = state.enabled;

  const uint32_t now = PlatformTick();
  WatchConnection(host, now);
  const bool first = state.last_cycle_time == 0;
  if (!first && ElapsedMs(now, state.last_cycle_time) < state.settings.sleep_ms) return 0;
  state.last_cycle_time = now;
  state.phase ^= 1;

  CycleWork work = {host, budget_ms, state.initialised && (state.phase == 0 || first), state.phase == 1 || first};
  if (PlatformRunGuarded(RunCycleWork, &work)) ReportFault();
  return 0;
}

void HandleOneEvent(HostInterface* host) {
  Client().host = host;
  if (Client().events.count <= 0) return;
  if (PlatformRunGuarded(HandleLatestEventGuarded, host)) ReportFault();
}
