#include "master/database.h"

// The server database is not kept yet: there is nothing to load or import.
void LoadServerDatabase(HostInterface*) {}
void ImportServerDatabaseOnce(HostInterface*) {}
