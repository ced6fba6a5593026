#include "master/transport.h"

#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "channel/master_wire.h"
#include "master/master_state.h"
#include "master/name_cache.h"
#include "master/schedule.h"
#include "output/console.h"
#include "platform/platform.h"
#include "settings/player_settings.h"
#include "util/elapsed.h"
#include "util/text.h"

namespace master {

namespace {

const int kMostCacheRequests = 4;
const int kCacheQueryNumber = 67;

TransportState& Transport() { return Master().transport; }

void MakeQueryToken() {
  char* token = Transport().token;
  const int length = rand() % 8 + 8;
  token[length] = '\0';
  for (int i = length - 1; i >= 0; --i) {
    token[i] = static_cast<char>(rand() % 100 + 0x21);
    if (token[i] == '"') token[i] = 'X';
  }
}

// How long the start-up lookup may take before it is given up as failed.
const int32_t kLookupPatienceMs = 30000;

// Tells the player how the start-up lookup ended: resolved to one of the
// known masters, or not (the answer, if any, still serves the cache
// request).
void ReportStartupLookup() {
  const TransportState& transport = Transport();
  if (transport.startup_address[0] != '\0' && strstr(master_wire::kFallbackMasters, transport.startup_address)) {
    ConsolePrint(0, "Resolved to [%s]", transport.startup_address);
  } else {
    ConsolePrint(0, "DNS Resolution failed: using %d cached hostnamed resolutions", static_cast<int>(NameCacheCount()));
  }
}

// The start-up lookup of one randomly numbered master name: it tells the
// player whether names resolve, and gives the cache request an address. It
// never blocks: a name that needs the network is answered in a later cycle.
void LookUpAMaster(uint32_t now) {
  TransportState& transport = Transport();
  char name[64];
  FormatText(name, sizeof name, master_wire::kMasterHostPattern, rand() % 8 + 1);
  ConsolePrint(0, "Attempting to resolve %s", name);
  if (PlatformLookupStart(name, transport.startup_address) == kLookupPending) {
    transport.lookup_pending = 1;
    transport.lookup_started = now;
    return;
  }
  ReportStartupLookup();
}

void CountSentDatagram(const char* text, uint32_t now) { CountSent(static_cast<int32_t>(strlen(text)) + 1, now); }

}  // namespace

void StartMasterTransport(HostInterface*, uint32_t now) {
  MakeQueryToken();
  Master().exchange.slot = rand() % 4;
  LoadNameCache();
  PullCacheRequestForward(now);
  if (CurrentSettings().lan == 1) {
    ConsolePrint(0, "Bypassing DNS attempts due to TG Client running in LAN mode");
    return;
  }
  LookUpAMaster(now);
}

void PollStartupLookup(uint32_t now) {
  TransportState& transport = Transport();
  if (transport.lookup_pending == 0) return;
  if (PlatformLookupPoll(transport.startup_address) == kLookupPending) {
    if (ElapsedMs(now, transport.lookup_started) < kLookupPatienceMs) return;
    PlatformLookupCancel();
    transport.startup_address[0] = '\0';
  }
  transport.lookup_pending = 0;
  ReportStartupLookup();
}

const char* QueryToken() { return Transport().token; }

bool OpenOwnSocket() {
  TransportState& transport = Transport();
  const int32_t port = CurrentSettings().net_port;
  if (transport.socket != kNoSocket || port == 0) return transport.socket != kNoSocket;
  transport.socket = PlatformUdpCreate();
  if (transport.socket == kNoSocket) return false;
  if (PlatformUdpBind(transport.socket, static_cast<uint16_t>(port))) return true;
  ConsolePrint(0, "Network Socket error: cannot bind to port %lu", static_cast<unsigned long>(port));
  DropOwnPort();
  return false;
}

void CloseOwnSocket(bool force) {
  TransportState& transport = Transport();
  if (transport.socket == kNoSocket || (!force && CurrentSettings().net_port != 0)) return;
  PlatformUdpClose(transport.socket);
  transport.socket = kNoSocket;
}

intptr_t OwnSocket() { return Transport().socket; }

void SendMasterText(HostInterface* host, const char* address, uint16_t port, const char* text, uint32_t now) {
  const TransportState& transport = Transport();
  if (CurrentSettings().net_port == 0 || transport.socket == kNoSocket) {
    SendMasterTextThroughHost(host, address, port, text, now);
    return;
  }
  if (address == nullptr || address[0] == '\0') return;
  PlatformUdpSend(transport.socket, address, port, text, static_cast<int>(strlen(text)) + 1);
  CountSentDatagram(text, now);
}

void SendMasterTextThroughHost(HostInterface* host, const char* address, uint16_t port, const char* text,
                               uint32_t now) {
  if (host->host_send_oob != nullptr) host->host_send_oob(address, port, static_cast<int32_t>(strlen(text)) + 1, text);
  CountSentDatagram(text, now);
}

void NoteMasterSender(const char* address, uint16_t port) {
  CopyBounded(Transport().sender_address, address, sizeof Transport().sender_address - 1);
  Transport().sender_port = port;
}
const char* MasterSenderAddress() { return Transport().sender_address; }
uint16_t MasterSenderPort() { return Transport().sender_port; }

uint8_t* DatagramBuffer() { return Transport().datagram; }

void RunCacheRequestDuty(HostInterface* host, uint32_t now) {
  if (!TakeCacheRequestTurn(now) || CurrentSettings().lan == 1) return;
  TransportState& transport = Transport();
  if (NameCacheCount() != 0 || transport.startup_address[0] == '\0' || transport.cache_requests >= kMostCacheRequests)
    return;
  char* query = reinterpret_cast<char*>(transport.datagram);
  master_wire::FormatQuery(1, query, kDatagramBufferBytes, transport.token, kCacheQueryNumber);
  SendMasterTextThroughHost(host, transport.startup_address, master_wire::kMasterPort, query, now);
  ++transport.cache_requests;
}

}  // namespace master
