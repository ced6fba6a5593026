// A master's file transfer as the module hears it: a header datagram and
// its blocks, masked with the module's query token ("TG_C" datagrams).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "channel/master_wire.h"
#include "master/transport.h"
#include "util/seeded_md5.h"

inline std::string MasterBig32(uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (24 - 8 * i));
  return out;
}

inline std::string MasterTransferDatagram(uint32_t id, const std::string& rest) {
  std::string payload = MasterBig32(id) + rest;
  master_wire::MaskTransfer(reinterpret_cast<uint8_t*>(&payload[0]), static_cast<int>(payload.size()),
                            master::QueryToken());
  return "TG_C" + payload;
}

// The bytes a master sends for file: the file, or its zlib stream.
inline std::string MasterSentBytes(const std::string& file, bool compress_it) {
  if (!compress_it) return file;
  uLongf n = compressBound(static_cast<uLong>(file.size()));
  std::string sent(n, '\0');
  compress(reinterpret_cast<Bytef*>(&sent[0]), &n, reinterpret_cast<const Bytef*>(file.data()),
           static_cast<uLong>(file.size()));
  sent.resize(n);
  return sent;
}

// The header of a transfer of file_size bytes sent as sent under name.
inline std::string MasterHeaderDatagram(uint32_t id, size_t file_size, const std::string& sent,
                                        const std::string& name) {
  SeededMd5 md5;
  md5.Digest(sent.data(), static_cast<int32_t>(sent.size()), 0);
  return MasterTransferDatagram(
      id, "RWFH" + MasterBig32(static_cast<uint32_t>(file_size)) + MasterBig32(static_cast<uint32_t>(sent.size())) +
              std::string(reinterpret_cast<const char*>(md5.DigestBytes()), 16) + name + '\0');
}

inline std::string MasterBlockDatagram(uint32_t id, const std::string& sent, uint32_t index) {
  return MasterTransferDatagram(id, "RWFB" + MasterBig32(index) + sent.substr(index * 1024, 1024));
}

// The datagrams that carry file under name, compressed when asked.
inline std::vector<std::string> MasterFileDatagrams(uint32_t id, const std::string& file, const std::string& name,
                                                    bool compress_it) {
  const std::string sent = MasterSentBytes(file, compress_it);
  std::vector<std::string> datagrams = {MasterHeaderDatagram(id, file.size(), sent, name)};
  for (uint32_t i = 0; i * 1024 < sent.size(); ++i) datagrams.push_back(MasterBlockDatagram(id, sent, i));
  return datagrams;
}
