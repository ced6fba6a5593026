#include "core/integrity.h"

void ResolveSystemInterfaces() {}
void RunConnectionDuty(HostInterface*, uint32_t) {}
void CheckAfterImport(HostInterface*) {}
void RunTimedDuties(HostInterface*, uint32_t) {}
