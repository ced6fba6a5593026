// tgmaster: a reference master server for the client module, on loopback.
//
//   tgmaster [--port N (16567; 0: any free port)] [--database FILE]
//            [--file PATH[=NAME]]... [--cache HOST=ADDRESS]... [--compress]
//            [--drop N] [--repeat N]
//            [--reorder] [--answers N] [--duration-ms N]
//
// It answers each query of the module (the first of its two queries) with
// the database text of FILE ('1' datagram, masked with the module's token,
// cut to 1400 bytes), then sends every --file as a transfer: an "RWFH"
// header and 1024-byte "RWFB" blocks, compressed with --compress when that
// makes it smaller. --cache entries make a name cache "tgns.dat" that is
// sent after the files (host names to dotted addresses). To exercise the module's restarts it can leave out
// block N of each transfer once (--drop), send block N twice (--repeat) or
// send the last two blocks in the wrong order (--reorder). A "restart ID N"
// request sends the transfer again from block N. Everything it hears and
// sends is printed. It ends after N answered queries (--answers) with a
// short linger for restarts, or after the duration.
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "channel/master_wire.h"
#include "common/file_bytes.h"
#include "common/options.h"
#include "platform/platform.h"
#include "util/seeded_md5.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct FileToSend {
  std::string name;
  Bytes bytes;
};

struct Options {
  uint16_t port = master_wire::kMasterPort;
  std::string database;
  std::vector<FileToSend> files;
  Bytes cache;  // name-cache entries, 8 bytes each
  bool compress = false;
  int drop = -1;
  int repeat = -1;
  bool reorder = false;
  int answers = 0;
  int duration_ms = 60000;
};

// A transfer as sent: what the blocks carry and to whom.
struct Transfer {
  uint32_t id;
  std::string name;
  Bytes sent;
  uint32_t unpacked;
  std::string token, address;
  uint16_t port;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  OptionReader in(argc, argv);
  while (in.Next()) {
    std::string value;
    bool ok = true;
    if (in.Is("--port")) {
      ok = in.Int(&options->port);
    } else if (in.Is("--database")) {
      ok = in.Text(&options->database);
    } else if (in.Is("--file") && in.Text(&value)) {
      const size_t equals = value.find('=');
      FileToSend file;
      const std::string path = value.substr(0, equals);
      file.name = equals == std::string::npos ? path.substr(path.find_last_of("/\\") + 1) : value.substr(equals + 1);
      if (!ReadFileBytes(path, &file.bytes)) {
        fprintf(stderr, "tgmaster: cannot read %s\n", path.c_str());
        return false;
      }
      options->files.push_back(file);
    } else if (in.Is("--cache") && in.Text(&value)) {
      const size_t equals = value.find('=');
      unsigned a, b, c, d;
      if (equals == std::string::npos || sscanf(value.c_str() + equals + 1, "%u.%u.%u.%u", &a, &b, &c, &d) != 4)
        return false;
      std::string host = value.substr(0, equals);
      for (char& ch : host) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
      SeededMd5 md5;
      md5.Digest(host.data(), static_cast<int32_t>(host.size()), 0);
      const uint8_t* digest = md5.DigestBytes();
      const uint8_t address[4] = {static_cast<uint8_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(c),
                                  static_cast<uint8_t>(d)};
      options->cache.insert(options->cache.end(), digest + 9, digest + 13);
      for (int k = 0; k < 4; ++k) options->cache.push_back(static_cast<uint8_t>(address[k] ^ digest[k]));
    } else if (in.Is("--compress")) {
      options->compress = true;
    } else if (in.Is("--drop")) {
      ok = in.Int(&options->drop);
    } else if (in.Is("--repeat")) {
      ok = in.Int(&options->repeat);
    } else if (in.Is("--reorder")) {
      options->reorder = true;
    } else if (in.Is("--answers")) {
      ok = in.Int(&options->answers);
    } else if (in.Is("--duration-ms")) {
      ok = in.Int(&options->duration_ms);
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  return true;
}

void PutBig32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

class Master {
 public:
  Master(PlatformSocket socket, const Options& options) : socket_(socket), options_(options) {}

  // Handles one datagram; gives true when it was a query that got answered.
  bool Handle(const uint8_t* data, int length, const std::string& from, uint16_t port) {
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), length));
    char token[16];
    if (master_wire::ReadQueryToken(text.c_str(), static_cast<int>(text.size()), token)) {
      printf("[master] <- query from %s:%u (token of %zu characters)\n", from.c_str(), port, strlen(token));
      Answer(token, from, port);
      return true;
    }
    if (text.compare(0, 5, "TG_Q2") == 0) {
      printf("[master] <- second query from %s:%u\n", from.c_str(), port);
      return false;
    }
    int id = 0, block = 0;
    if (sscanf(text.c_str(), "restart %d %d", &id, &block) == 2) {
      printf("[master] <- restart of transfer %d from block %d (from %s:%u)\n", id, block, from.c_str(), port);
      for (const Transfer& transfer : transfers_)
        if (static_cast<int>(transfer.id) == id) SendBlocks(transfer, block, from, port, false);
      return false;
    }
    printf("[master] <- %d bytes of something else from %s:%u\n", length, from.c_str(), port);
    return false;
  }

 private:
  void Send(const Bytes& datagram, const std::string& address, uint16_t port) {
    PlatformUdpSend(socket_, address.c_str(), port, datagram.data(), static_cast<int>(datagram.size()));
  }

  void Answer(const std::string& token, const std::string& address, uint16_t port) {
    if (!options_.database.empty()) {
      Bytes text;
      if (ReadFileBytes(options_.database, &text)) {
        if (text.size() > static_cast<size_t>(master_wire::kDatabaseTextBytes))
          text.resize(master_wire::kDatabaseTextBytes);
        master_wire::MaskDatabaseText(text.data(), static_cast<int>(text.size()), token.c_str());
        Bytes datagram = {'T', 'G', '_', static_cast<uint8_t>(master_wire::kDatabaseKind)};
        datagram.insert(datagram.end(), text.begin(), text.end());
        Send(datagram, address, port);
        printf("[master] -> database text, %zu bytes\n", text.size());
      }
    }
    for (const FileToSend& file : options_.files) {
      Transfer transfer;
      transfer.id = next_id_++;
      transfer.name = file.name;
      transfer.unpacked = static_cast<uint32_t>(file.bytes.size());
      transfer.sent = file.bytes;
      if (options_.compress) {
        uLongf n = compressBound(static_cast<uLong>(file.bytes.size()));
        Bytes packed(n);
        if (compress(packed.data(), &n, file.bytes.data(), static_cast<uLong>(file.bytes.size())) == Z_OK &&
            n < file.bytes.size()) {
          packed.resize(n);
          transfer.sent = packed;
        }
      }
      transfer.token = token;
      transfer.address = address;
      transfer.port = port;
      transfers_.push_back(transfer);
      SendHeader(transfer);
      SendBlocks(transfer, 0, address, port, true);
    }
  }

  Bytes Datagram(const Transfer& transfer, const char* magic, const Bytes& rest) {
    Bytes payload;
    PutBig32(payload, transfer.id);
    payload.insert(payload.end(), magic, magic + 4);
    payload.insert(payload.end(), rest.begin(), rest.end());
    master_wire::MaskTransfer(payload.data(), static_cast<int>(payload.size()), transfer.token.c_str());
    Bytes datagram = {'T', 'G', '_', static_cast<uint8_t>(master_wire::kTransferKind)};
    datagram.insert(datagram.end(), payload.begin(), payload.end());
    return datagram;
  }

  void SendHeader(const Transfer& transfer) {
    Bytes rest;
    PutBig32(rest, transfer.unpacked);
    PutBig32(rest, static_cast<uint32_t>(transfer.sent.size()));
    SeededMd5 md5;
    md5.Digest(transfer.sent.data(), static_cast<int32_t>(transfer.sent.size()), 0);
    rest.insert(rest.end(), md5.DigestBytes(), md5.DigestBytes() + 16);
    rest.insert(rest.end(), transfer.name.begin(), transfer.name.end());
    rest.push_back(0);
    Send(Datagram(transfer, master_wire::kHeaderMagic, rest), transfer.address, transfer.port);
    printf("[master] -> file %s: %u bytes, %zu sent in %zu blocks, transfer %u\n", transfer.name.c_str(),
           transfer.unpacked, transfer.sent.size(), BlockCount(transfer), transfer.id);
  }

  static size_t BlockCount(const Transfer& transfer) {
    return (transfer.sent.size() + master_wire::kBlockBytes - 1) / master_wire::kBlockBytes;
  }

  Bytes Block(const Transfer& transfer, size_t index) {
    Bytes rest;
    PutBig32(rest, static_cast<uint32_t>(index));
    const size_t from = index * master_wire::kBlockBytes;
    const size_t to = std::min(transfer.sent.size(), from + master_wire::kBlockBytes);
    rest.insert(rest.end(), transfer.sent.begin() + static_cast<long>(from),
                transfer.sent.begin() + static_cast<long>(to));
    return Datagram(transfer, master_wire::kBlockMagic, rest);
  }

  // The blocks from first on; the first sending may drop, repeat or
  // reorder blocks as the options say.
  void SendBlocks(const Transfer& transfer, int first, const std::string& address, uint16_t port, bool first_time) {
    std::vector<size_t> order;
    for (size_t i = static_cast<size_t>(first < 0 ? 0 : first); i < BlockCount(transfer); ++i) order.push_back(i);
    if (first_time && options_.reorder && order.size() >= 2)
      std::swap(order[order.size() - 1], order[order.size() - 2]);
    for (size_t index : order) {
      if (first_time && static_cast<int>(index) == options_.drop) {
        printf("[master] -> block %zu of transfer %u left out\n", index, transfer.id);
        continue;
      }
      Send(Block(transfer, index), address, port);
      if (first_time && static_cast<int>(index) == options_.repeat) Send(Block(transfer, index), address, port);
    }
    printf("[master] -> blocks %d to %zu of transfer %u\n", first, BlockCount(transfer) - 1, transfer.id);
  }

  PlatformSocket socket_;
  const Options& options_;
  std::vector<Transfer> transfers_;
  uint32_t next_id_ = 1001;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    fprintf(stderr,
            "usage: tgmaster [--port N] [--database FILE] [--file PATH[=NAME]]... [--cache HOST=ADDRESS]...\n"
            "                [--compress] [--drop N] [--repeat N] [--reorder] [--answers N] [--duration-ms N]\n");
    return 2;
  }
  if (!options.cache.empty()) options.files.push_back({"tgns.dat", options.cache});
  setvbuf(stdout, nullptr, _IOLBF, 0);
  PlatformSocket socket = PlatformUdpOpen(options.port, 1);
  if (socket == kNoSocket) {
    fprintf(stderr, "tgmaster: cannot open UDP port %u on 127.0.0.1\n", options.port);
    return 1;
  }
  printf("[master] listening on 127.0.0.1:%u\n", PlatformUdpLocalPort(socket));
  fflush(stdout);
  Master master(socket, options);
  const uint32_t start = PlatformTick();
  uint32_t answered_at = 0;
  int answered = 0;
  for (;;) {
    const uint32_t now = PlatformTick();
    if (static_cast<int32_t>(now - start) >= options.duration_ms) break;
    // After the last answer, a few seconds more for restart requests.
    if (options.answers > 0 && answered >= options.answers && static_cast<int32_t>(now - answered_at) >= 8000) break;
    uint8_t buffer[master_wire::kDatagramBytes + 1];
    char from[16];
    uint16_t from_port = 0;
    const int n = PlatformUdpReceive(socket, buffer, master_wire::kDatagramBytes, from, &from_port);
    if (n < 0) {
      PlatformSleep(5);
      continue;
    }
    if (master.Handle(buffer, n, from, from_port)) {
      ++answered;
      answered_at = now;
    }
    fflush(stdout);
  }
  printf("[master] done: %d quer%s answered\n", answered, answered == 1 ? "y" : "ies");
  PlatformUdpClose(socket);
  return 0;
}
