#include "console/reg_names.h"

// Registered names are not kept yet: there is no file to load.
void ReloadRegisteredNames(HostInterface*) {}
void SendRegisteredNames(HostInterface*) {}
