#include "master/exchange.h"

// No master exchange is made yet: nothing is in transfer and nothing is asked.
void ProcessMasterTransfers(HostInterface*, uint32_t) {}
void QueryMasterWhenDue(HostInterface*, uint32_t) {}
void HandleMasterDatagram(HostInterface*, const uint8_t*, int32_t) {}
