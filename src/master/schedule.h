// When the master duties fall due: the 30-second cache request and the
// periodic master query. Kept apart from the duties themselves, so that the
// protocol and the console can bring a duty forward without reaching into
// the transport.
#pragma once

#include <cstdint>

namespace master {

// Makes the cache request due at the next cycle, unless it is due already.
void PullCacheRequestForward(uint32_t now);
// 1 when 30000 ms have passed since the cache request's last turn; the
// period then starts again at now.
int TakeCacheRequestTurn(uint32_t now);

// The first master query falls due 120000 ms after start-up.
void ScheduleFirstMasterQuery(uint32_t now);
// TG_NEXTMASTER: the last master exchange counts as 31 minutes ago, so the
// next cycle contacts a master.
void QueryMasterSoon(uint32_t now);

}  // namespace master
