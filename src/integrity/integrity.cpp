#include "integrity/integrity.h"

#include <cstring>

#include "integrity/integrity_state.h"
#include "util/elapsed.h"

namespace integrity {

namespace {

const int32_t kExchangeDutyMs = 67000;

}  // namespace

void ResolveSystemInterfaces() {}

void ReserveAgentData() {
  GrowArray& data = Integrity().agent_data;
  data.SetInitialCapacity(1024);
  data.EnsureRoom();
}

int AgentDataEmpty() { return Integrity().agent_data.Count() == 0; }

void TakeOverAgentData(HostInterface*) {}

void RunConnectionDuty(HostInterface*, uint32_t) {}

void StartLongDuty(int connected, uint32_t now) { Integrity().last_long_duty = connected ? now : 0; }

void MakeExchangeDutyDue(uint32_t now) {
  // One second past the period, so that the next cycle finds it due.
  uint32_t& last = Integrity().last_exchange_duty;
  if (ElapsedMs(now, last) < kExchangeDutyMs + 1000) last = now - (kExchangeDutyMs + 1000u);
}

void CheckAfterImport(HostInterface*) {}
void RunTimedDuties(HostInterface*, uint32_t) {}
void HandleIntegrityRequest(HostInterface*, const uint8_t*, int32_t) {}
void HandleIntegrityRecords(HostInterface*, const uint8_t*, int32_t) {}
void HandleIntegrityQuery(HostInterface*, uint8_t, const uint8_t*, int32_t) {}

int IntegrityStatus() {
  const IntegrityState& state = Integrity();
  return !state.check_flag || state.pass_flag ? 1 : 0;
}

bool IsIntegrityQuery(uint8_t subtype) {
  static const char kSubtypes[] = {7, 9, 16, 17, 18, 20, 21, '+', 'N', 'P', 'X', 'Y', 'Z', 'm', '|'};
  return memchr(kSubtypes, subtype, sizeof kSubtypes) != nullptr;
}

}  // namespace integrity
