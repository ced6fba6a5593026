#include "master/transport.h"

// The module has no socket and no master names of its own yet, so start-up,
// socket service and the cache request have nothing to do.
void StartMasterTransport(HostInterface*) {}
void ServiceSocket(HostInterface*) {}
void RequestMasterCache(HostInterface*) {}
