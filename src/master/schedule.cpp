#include "master/schedule.h"

#include "master/master_state.h"
#include "util/elapsed.h"

namespace master {

namespace {

const int32_t kCacheRequestPeriodMs = 30000;
// A turn brought forward counts as one second overdue.
const int32_t kCacheRequestOverdueMs = kCacheRequestPeriodMs + 1000;
const uint32_t kFirstMasterQueryMs = 120000;
const uint32_t kNextMasterAgoMs = 1860000;

}  // namespace

void PullCacheRequestForward(uint32_t now) {
  uint32_t& last = Master().transport.cache_request;
  if (ElapsedMs(now, last) < kCacheRequestOverdueMs) last = now - static_cast<uint32_t>(kCacheRequestOverdueMs);
}

int TakeCacheRequestTurn(uint32_t now) {
  uint32_t& last = Master().transport.cache_request;
  if (ElapsedMs(now, last) < kCacheRequestPeriodMs) return 0;
  last = now;
  return 1;
}

void ScheduleFirstMasterQuery(uint32_t now) {
  Master().exchange.last_query_time = now - (kMasterQueryPeriodMs - kFirstMasterQueryMs);
}

void QueryMasterSoon(uint32_t now) { Master().exchange.last_query_time = now - kNextMasterAgoMs; }

}  // namespace master
