#include "routing/frame_router.h"

#include "channel/framing.h"
#include "console/reg_names.h"
#include "integrity/integrity.h"
#include "master/exchange.h"
#include "master/modules.h"
#include "master/schedule.h"
#include "master/update.h"
#include "output/console.h"
#include "protocol/frames.h"
#include "protocol/hello.h"
#include "protocol/requests.h"
#include "protocol/rules.h"
#include "screenshot/delivery.h"
#include "settings/player_settings.h"

namespace {

// The kinds master servers send: database text and file transfers.
bool IsMasterKind(uint8_t kind) { return kind == '1' || kind == 'C'; }

int32_t DispatchOpened(HostInterface* host, const protocol::OpenedFrame& frame, uint32_t now) {
  switch (frame.verdict) {
    case protocol::FrameVerdict::kRefused:
      return 0;
    case protocol::FrameVerdict::kIgnored:
      return 1;
    case protocol::FrameVerdict::kForeignIdent:
      SendReply(host, protocol::IdentAnnouncement(), now);
      return 0;
    case protocol::FrameVerdict::kPayload:
      break;
  }
  // The first scrambled frame of a connection brings the next name-cache
  // request forward.
  if (frame.link_started) master::PullCacheRequestForward(now);
  return DispatchPayload(host, frame.length, frame.payload, now);
}

void RouteRelay(HostInterface* host, uint8_t* argument, int32_t length, uint32_t now) {
  const protocol::OpenedRelay relay = protocol::OpenRelay(host, argument, length);
  if (relay.payload != nullptr) DispatchPayload(host, relay.length, relay.payload, now);
  SendReply(host, protocol::EndRelay(relay), now);
}

// The hello sets the masters' schedule and the exchange duty going, starts
// the link when the server runs this client and agent, or has the modules
// reconciled when it does not, and has a screenshot taken for a new key.
void RouteServerHello(HostInterface* host, uint8_t* argument, uint32_t now) {
  master::PullCacheRequestForward(now);
  integrity::MakeExchangeDutyDue(now);
  const protocol::HelloReading hello = protocol::ReadServerHello(host, argument, master::AgentVersion());
  if (screenshot::ScreenshotSequence() == 0 || hello.keys_changed)
    screenshot::SetScreenshotSequence(hello.screenshot_sequence);
  bool screenshot_wanted = false;
  if (hello.new_key) {
    protocol::TakeNewHelloKey(host, now);
    screenshot_wanted = screenshot::FirstScreenshotSlotFree();
  }
  if (master::AgentVersion() < 1) master::QueryAgentVersion(host);

  if (protocol::HelloVersionsMatch(master::AgentVersion())) {
    SendReply(host, protocol::StartLink(host), now);
    SendReply(host, console::RegisteredNamesReply(), now);
  } else {
    // A package still arriving keeps the hello waiting; a silent one is dropped.
    if (master::UpdateTransferActive(now)) return;
    protocol::ForgetHelloKey();
    master::ReconcileModules(host, now);
  }
  if (screenshot_wanted) screenshot::QueueServerScreenshot(host, 0, 0, now);
}

void RouteServerRequest(HostInterface* host, uint8_t subtype, uint8_t* argument, int32_t length, uint32_t now) {
  if (subtype == 'I') {
    SendReply(host, console::RegisteredNamesReply(), now);
  } else if (integrity::IsIntegrityQuery(subtype)) {
    integrity::HandleIntegrityQuery(host, subtype, argument, length);
  } else {
    SendReply(host, protocol::HandleServerRequest(host, subtype, argument, length, now), now);
  }
}

}  // namespace

int32_t ReceiveFrame(HostInterface* host, int32_t length, uint8_t* data, uint32_t now) {
  if (!ModuleEnabled()) return 0;
  protocol::StartFrame();
  CountReceived(length, now);
  if (data == nullptr || length < 4) return 1;
  if (IsMasterKind(data[3])) {
    master::HandleMasterDatagram(host, data, length, now);
    return 1;
  }
  switch (data[3]) {
    case 'E':
      return DispatchOpened(host, protocol::OpenScrambledFrame(host, length, data), now);
    case 'P':
      return DispatchOpened(host, protocol::OpenPlainFrame(length, data), now);
    default:
      return 1;
  }
}

void ReceiveSocketDatagram(HostInterface* host, int32_t length, const uint8_t* data, uint32_t now) {
  if (!ModuleEnabled()) return;
  CountReceived(length, now);
  if (data != nullptr && length >= 4 && IsMasterKind(data[3])) master::HandleMasterDatagram(host, data, length, now);
}

int32_t DispatchPayload(HostInterface* host, int32_t length, uint8_t* payload, uint32_t now) {
  if (payload == nullptr || length < 1) return 1;
  uint8_t* argument = payload + 1;
  char* text = reinterpret_cast<char*>(argument);
  const int32_t rest = length - 1;
  switch (payload[0]) {
    case 0x01:
    case 'I':
      screenshot::HandleScreenshotPacket(host, payload[0], argument, rest, now);
      break;
    case 0x03:
      RouteRelay(host, argument, rest, now);
      break;
    case 0x08:
      protocol::HandleDropRequest(host, text);
      break;
    case 0x09:
      integrity::HandleIntegrityRequest(host, argument, rest);
      break;
    case 'A':
      ConsolePrint(1, "%s", text);
      break;
    case 'B':
      if (rest >= 1) RouteServerRequest(host, argument[0], argument + 1, rest - 1, now);
      break;
    case 'C':
      RouteServerHello(host, argument, now);
      break;
    case 'G':
      master::AnnounceUpdate(text, now);
      break;
    case 'H':
      master::HandleUpdateData(host, argument, rest, now);
      break;
    case 'K':
      protocol::HandleRuleText(host, text, now);
      break;
    case 'N':
      master::HandleAgentDelivery(host, argument, rest, now);
      break;
    case 'O':
      screenshot::HandleScreenshotRestart(argument, rest);
      break;
    case 'S':
      integrity::HandleIntegrityRecords(host, argument, rest);
      break;
    default:
      break;
  }
  return 1;
}
