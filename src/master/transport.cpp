#include "master/transport.h"

#include "console/console_state.h"
#include "master/schedule.h"

namespace {

// The module has no master names of its own yet: there is nothing to ask.
void RequestMasterCache(HostInterface*) {}

}  // namespace

// The module has no socket of its own yet, so start-up and socket service
// have nothing to do.
void StartMasterTransport(HostInterface*) {}
void ServiceSocket(HostInterface*) {}

void RunCacheRequestDuty(HostInterface* host, uint32_t now) {
  if (!TakeCacheRequestTurn(now) || CurrentSettings().lan == 1) return;
  RequestMasterCache(host);
}
