#include "protocol/rules.h"

// The server cannot send rules yet, so the list is always empty.
void CheckNextRule(HostInterface*, uint32_t) {}
