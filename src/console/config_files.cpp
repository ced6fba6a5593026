#include "console/config_files.h"

// Settings cannot be changed by console lines yet, so no file is read.
void LoadConfigFile(HostInterface*, const char*, int, int) {}
