#include "master/modules.h"

// No agent module is loaded yet, so its version stays 0 and it has no data.
void StartAgent(HostInterface*) {}
void TakeOverAgentData(HostInterface*) {}
