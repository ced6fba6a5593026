#include "updates.h"

#include <cstdio>
#include <cstdlib>

#include "common/file_bytes.h"
#include "platform/platform.h"
#include "util/seeded_md5.h"

namespace {

const size_t kChunkBytes = 1024;

}  // namespace

bool UpdateSender::Start(ClientPeer& peer, const std::string& path, const std::string& name, int drop) {
  if (!ReadFileBytes(path, &file_)) return false;
  SeededMd5 md5;
  md5.Digest(file_.data(), static_cast<int32_t>(file_.size()), 0);
  const std::string announce = "G" + std::to_string(file_.size()) + " " + md5.Hex() + " " + name;
  Bytes payload(announce.begin(), announce.end());
  payload.push_back(0);
  peer.Send(payload);
  SendChunks(peer, 0, drop);
  return true;
}

void UpdateSender::SendChunks(ClientPeer& peer, int first, int drop) {
  const size_t count = (file_.size() + kChunkBytes - 1) / kChunkBytes;
  for (size_t index = static_cast<size_t>(first); index < count; ++index) {
    if (static_cast<int>(index) == drop) {
      printf("[server] -> update chunk %zu left out\n", index);
      continue;
    }
    Bytes payload;
    payload.reserve(3 + kChunkBytes);
    payload.push_back('H');
    payload.push_back(static_cast<uint8_t>(index >> 8));
    payload.push_back(static_cast<uint8_t>(index));
    const size_t from = index * kChunkBytes;
    const size_t to = from + kChunkBytes < file_.size() ? from + kChunkBytes : file_.size();
    payload.insert(payload.end(), file_.begin() + static_cast<long>(from), file_.begin() + static_cast<long>(to));
    peer.Send(payload);
    // A breath every 16 chunks, as a game server paces its traffic, so
    // that the game's receive buffer is never overrun.
    if (index % 16 == 15) PlatformSleep(2);
  }
  printf("[server] -> update chunks %d to %zu\n", first, count - 1);
}

std::string UpdateSender::Take(ClientPeer& peer, const Bytes& payload) {
  if (payload.size() < 6 || payload[0] != 'O' || payload[1] != 'U' || payload[2] != 'P' || payload[3] != 'D') return "";
  const std::string text(payload.begin() + 5, payload.end());
  const int from = atoi(text.c_str());
  if (from < 0 || file_.empty()) return "update request: no download in progress here";
  SendChunks(peer, from, -1);
  return "update request: chunks from " + std::to_string(from) + " again";
}
