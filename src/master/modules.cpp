#include "master/modules.h"

// No agent module is loaded yet, so its version stays 0.
void StartAgent(HostInterface*) {}
void QueryAgentVersion(HostInterface*) {}
void ReconcileModules(HostInterface*, uint32_t) {}
void HandleAgentDelivery(HostInterface*, const uint8_t*, int32_t) {}
