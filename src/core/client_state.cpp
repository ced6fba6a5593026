#include "core/client_state.h"

#include <new>

namespace {

ClientState g_client;

}  // namespace

ClientState& Client() { return g_client; }

void ResetClientState() {
  g_client.~ClientState();
  new (&g_client) ClientState();
}
