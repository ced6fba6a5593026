// Update downloads as the reference server streams them: a 'G' announcement
// (size, MD5, name) and 'H' chunks of 1024 bytes with a 16-bit big-endian
// index. One chunk can be left out of the first sending; the module's
// "OUPD<kind><n>" requests send the chunks from n on again.
#pragma once

#include <string>
#include <vector>

#include "peer.h"

class UpdateSender {
 public:
  // Announces the file under name and sends its chunks, leaving out chunk
  // drop (-1: none). false when the file cannot be read.
  bool Start(ClientPeer& peer, const std::string& path, const std::string& name, int drop);
  // A payload of the module: a resend request is answered and described;
  // anything else gives an empty text.
  std::string Take(ClientPeer& peer, const Bytes& payload);

 private:
  void SendChunks(ClientPeer& peer, int first, int drop);
  std::vector<uint8_t> file_;
};
