#include "routing/socket_service.h"

#include "master/exchange.h"
#include "master/transport.h"
#include "platform/platform.h"
#include "routing/frame_router.h"
#include "settings/player_settings.h"

void ServiceSocket(HostInterface* host, uint32_t now) {
  master::ReportUnknownMasterData(now);
  if (CurrentSettings().net_port == 0) {
    master::CloseOwnSocket(false);
    return;
  }
  if (master::OwnSocket() == kNoSocket && !master::OpenOwnSocket()) return;
  uint8_t* buffer = master::DatagramBuffer();
  for (int taken = 0; taken < kMaxDatagramsPerCycle; ++taken) {
    char from[16];
    uint16_t port = 0;
    int length = PlatformUdpReceive(master::OwnSocket(), buffer, master::kDatagramBufferBytes - 1, from, &port);
    if (length < 0) break;      // nothing more waits, or an error: the next cycle tries again
    if (length == 0) continue;  // an empty datagram: nothing in it, but more may wait
    uint8_t* data = buffer;
    if (length >= 4 && data[0] == 0xFF && data[1] == 0xFF && data[2] == 0xFF && data[3] == 0xFF) {
      data += 4;
      length -= 4;
      if (length == 0) continue;
    }
    master::NoteMasterSender(from, port);
    ReceiveSocketDatagram(host, length, data, now);
  }
}
