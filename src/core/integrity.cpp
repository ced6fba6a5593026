#include "core/integrity.h"

void ResolveSystemInterfaces() {}
void RunConnectionDuty(HostInterface*, uint32_t) {}
void CheckAfterImport(HostInterface*) {}
void RunTimedDuties(HostInterface*, uint32_t) {}
void HandleIntegrityRequest(HostInterface*, const uint8_t*, int32_t) {}
void HandleIntegrityRecords(HostInterface*, const uint8_t*, int32_t) {}
void HandleIntegrityQuery(HostInterface*, uint8_t, const uint8_t*, int32_t) {}
