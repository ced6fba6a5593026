#include "screenshot/delivery.h"

// No screenshot request can be made yet, so there is nothing to serve.
void ServeScreenshots(HostInterface*, uint32_t) {}
