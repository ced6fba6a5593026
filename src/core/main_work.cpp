#include "core/main_work.h"

#include <cstring>

#include "channel/framing.h"
#include "channel/wire_constants.h"
#include "core/core_state.h"
#include "integrity/integrity.h"
#include "master/database.h"
#include "master/exchange.h"
#include "master/modules.h"
#include "master/transport.h"
#include "platform/platform.h"
#include "protocol/rules.h"
#include "routing/socket_service.h"
#include "screenshot/capture.h"
#include "screenshot/delivery.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/elapsed.h"

namespace {

const int32_t kMainWorkBudgetMs = 40;
const int32_t kHostReportPeriodMs = 30000;
const int32_t kHaltGraceMs = 10000;
const int32_t kFirstAgentWithData = 1285;

// Every 30 s the host may have something to report; the game server is told
// that there is a report, not what it says.
void ReportToHost(HostInterface* host, uint32_t now) {
  uint32_t& last = Core().host_report;
  if (last != 0 && ElapsedMs(now, last) < kHostReportPeriodMs) return;
  last = now;
  char text[TG_QUERY_BUFFER_SIZE] = "";
  const intptr_t result = QueryHost(host, TG_QUERY_REPORT, text);
  if (result != 0 && text[0] != '\0') {
    char payload[8];
    wire::Unmask(wire::Text::kHostReport, payload, sizeof payload);
    QueuePayload(payload, static_cast<int32_t>(strlen(payload)) + 1, 1, now);
  }
}

}  // namespace

void MainWork(HostInterface* host, uint32_t now) {
  CoreState& core = Core();
  ++core.main_work_runs;
  if (core.pending_deletion[0] != '\0' && PlatformDeleteFile(core.pending_deletion)) core.pending_deletion[0] = '\0';
  if (!ModuleEnabled() || core.halted) return;
  if (core.halt_deadline != 0 && ElapsedMs(now, core.halt_deadline) > kHaltGraceMs) core.halted = 1;
  if (core.watch_calls == 5) screenshot::PrepareCaptureDevice(host);
  ServiceSocket(host, now);
  master::PollStartupLookup(now);
  if (!ServerConnected()) return;

  if (master::AgentVersion() >= kFirstAgentWithData && integrity::AgentDataEmpty()) integrity::TakeOverAgentData(host);
  protocol::CheckNextRule(host, now);
  master::ImportServerDatabaseOnce(host);
  integrity::CheckAfterImport(host);
  FlushQueue(host, now);
  if (ElapsedMs(PlatformTick(), now) >= kMainWorkBudgetMs) return;

  master::ProcessMasterTransfers(host, now);
  master::RunCacheRequestDuty(host, now);
  integrity::RunTimedDuties(host, now);
  screenshot::ServeScreenshots(host, now);
  ReportToHost(host, now);
  master::QueryMasterWhenDue(host, now);
}
