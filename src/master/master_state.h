// State of the master-server subsystem: the transport's timers, the master
// exchanges, the update transfer the game server streams, and the agent.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "platform/platform.h"
#include "util/memory.h"
#include "util/notice_limit.h"

// The master query falls due every 30 minutes.
const uint32_t kMasterQueryPeriodMs = 1800000;

// The largest package the module accepts, and the largest module one may
// unpack to (a hostile size must not make it reserve unbounded memory).
const int32_t kMaxUpdateSize = 16 * 1024 * 1024;
const uint32_t kMaxModuleSize = 16 * 1024 * 1024;

// ---- the name cache -------------------------------------------------------

// One name of the cache, 8 bytes, kept in "tgns.dat" exactly as in memory:
// bytes 9 to 12 of the MD5 of the lower-cased host name, and the address
// with each octet XORed with digest byte 0 to 3.
struct NameCacheEntry {
  uint8_t key[4];
  uint8_t masked[4];
};
const int kNameCacheEntries = 128;
const int kNameCacheFileBytes = 1024;

struct TransportState {
  uint32_t cache_request = 0;  // the 30000 ms cache-request duty last ran
  NameCacheEntry names[kNameCacheEntries] = {};
  int32_t name_count = 0;
  char token[16] = "";            // made once at start-up; masters mask with it
  char startup_address[16] = "";  // the start-up lookup's answer, or empty
  int lookup_pending = 0;         // the start-up lookup runs
  uint32_t lookup_started = 0;
  int32_t cache_requests = 0;         // start-up cache requests sent (at most 4)
  PlatformSocket socket = kNoSocket;  // the own socket
  // Shared by the datagrams built and received; a receive takes 2048 bytes.
  uint8_t datagram[2049] = {};
  // Where the latest master datagram came from (restart requests go there).
  char sender_address[32] = "";
  uint16_t sender_port = 0;

  TransportState() = default;
  ~TransportState() {
    // The module is unloaded.
    if (socket != kNoSocket) PlatformUdpClose(socket);
    if (lookup_pending != 0) PlatformLookupCancel();
  }
  TransportState(const TransportState&) = delete;
  TransportState& operator=(const TransportState&) = delete;
};

// ---- the master table ("tgcl.db") -------------------------------------------

const int kMasterRecords = 4;
const int kFileListCount = 12;  // module kinds A, C, S by platforms W, L, K, M
const int kFileEntries = 8;
const int kParsedAlternates = 3;
const int kMergedAlternates = 2;
const int kMasterHostChars = 127;

struct FileEntry {
  int32_t id;
  uint32_t value;  // module files: the unpacked size in bytes
  char first_hash[33];
  char second_hash[33];
};

struct FileEntryList {
  int32_t count;
  FileEntry entries[kFileEntries];
};

struct MasterAlternate {
  char host[kMasterHostChars + 1];
  char address[128];
  uint32_t port;
};

struct MasterRecord {
  int32_t id;  // 0: through the host's keyword service, 1: never asked
  int32_t port;
  int32_t query_count;
  char host[kMasterHostChars + 1];
  char address[128];  // dotted, or the host itself when it does not resolve
  FileEntryList lists[kFileListCount];
  int32_t alternate_count;
  MasterAlternate alternates[kParsedAlternates];
};

struct MasterTable {
  int32_t count;
  MasterRecord records[kMasterRecords];
};

// One file a master sends in blocks; id 0 marks a free entry.
struct MasterTransfer {
  uint32_t id;
  int32_t unpacked_size;
  int32_t transferred_size;
  int32_t block_count;
  int32_t blocks_received;
  uint32_t last_activity;  // the header and each accepted block
  uint32_t last_restart;   // 0: no restart asked yet
  uint8_t digest[16];      // MD5 of the transferred bytes
  uint16_t reply_port;
  int32_t highest_block;  // -1: none stored yet
  int32_t restart_count;
  char name[256];
  uint8_t* data;  // transferred size + 1 bytes, from the first stored block on
  char reply_address[32];
};

// Transfers in progress at once, and the largest a transfer may be and
// unpack to: well above what a master sends (database text, a name cache,
// a module of a few hundred KiB), so that a stranger's header cannot make
// the module reserve unbounded memory.
const int kMaxMasterTransfers = 4;
const int32_t kMaxTransferBytes = 4 * 1024 * 1024;
const int32_t kMaxUnpackedBytes = 8 * 1024 * 1024;

struct ExchangeState {
  uint32_t last_query_time = 0;  // tick of the last master exchange
  int32_t slot = 0;              // the master asked last
  MasterTransfer transfers[kMaxMasterTransfers] = {};
  uint32_t last_notice = 0;  // the "masters updated" notice, at most every 4000 ms
  NoticeLimit unknown_data;  // "Unknown data received", a few a second

  ExchangeState() = default;
  ~ExchangeState() {
    for (MasterTransfer& transfer : transfers) MemoryFree(transfer.data);
  }
  ExchangeState(const ExchangeState&) = delete;
  ExchangeState& operator=(const ExchangeState&) = delete;
};

struct UpdateTransfer {
  uint8_t* buffer = nullptr;  // set while a transfer is in progress
  int32_t size = 0;
  char digest[33] = "";  // the package's digest as 32 hex digits
  char name[256] = "";   // "htm\<file>" inside the home directory
  int32_t last_chunk = -1;
  uint32_t last_chunk_time = 0;  // the announcement or the latest data
  uint32_t last_request = 0;     // the latest resend request, 0: none yet

  UpdateTransfer() = default;
  ~UpdateTransfer() { MemoryFree(buffer); }
  UpdateTransfer(const UpdateTransfer&) = delete;
  UpdateTransfer& operator=(const UpdateTransfer&) = delete;
};

// A package that gave no module of its version, remembered by what its file
// looked like, so that an unchanged file is not read and unpacked again on
// every hello.
struct FruitlessPackage {
  char kind = 0;  // 'A', 'C'; 0: nothing remembered
  int32_t version = 0;
  uint32_t expected_size = 0;  // what the master table wanted (0: nothing)
  uint8_t expected_digests[2][16] = {};
  PlatformFileStamp stamp = {};
};

struct AgentState {
  int32_t version = 0;  // 0 while no agent is loaded
  uint32_t last_distress = 0;
  int32_t distress_count = 0;
  uint32_t last_version_report = 0;
  FruitlessPackage fruitless[2];  // the agent's and the client's
};

struct MasterState {
  MasterTable table = {};
  int import_done = 0;  // the database import runs once per run
  TransportState transport;
  ExchangeState exchange;
  UpdateTransfer update;
  AgentState agent;
};

// The state inside the one module-wide state object (defined in
// core/client_state.cpp); reached through a constant pointer, so the
// accessor costs no call.
extern MasterState* const g_master_state;
inline MasterState& Master() { return *g_master_state; }
