#include "core/client_state.h"

#include <new>

namespace {

ClientState g_client;

}  // namespace

ClientState& Client() { return g_client; }

CoreState& Core() { return g_client.core; }
EventQueue& Events() { return g_client.events; }
ServicesState& Services() { return g_client.services; }
ConsoleState& Console() { return g_client.console; }
ProtocolState& Protocol() { return g_client.protocol; }
ScreenshotState& Screenshots() { return g_client.screenshots; }
MasterState& Master() { return g_client.master; }
IntegrityState& Integrity() { return g_client.integrity; }

void ResetClientState() {
  g_client.~ClientState();
  new (&g_client) ClientState();
}
