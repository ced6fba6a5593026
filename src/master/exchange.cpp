#include "master/exchange.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "channel/master_wire.h"
#include "channel/wire_bytes.h"
#include "master/database.h"
#include "master/master_state.h"
#include "master/modules.h"
#include "master/name_cache.h"
#include "master/transport.h"
#include "output/console.h"
#include "output/text_file.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/elapsed.h"
#include "util/memory.h"
#include "util/path_check.h"
#include "util/seeded_md5.h"
#include "util/text.h"

namespace master {

namespace {

const int kQueryNumber = 67;
const int32_t kRestartSpacingMs = 5001;
const int kMostRestarts = 6;
const int32_t kTransferIdleMs = 120000;
// A transfer that has heard nothing for this long gives its place to a new
// one when every place is taken (a master that stopped, lost datagrams).
const int32_t kTransferYieldMs = 5001;
const int32_t kNoticeSpacingMs = 4000;
// What the game is asked to do for a master served through it (id 0).
const char kHostQueryCommand[] = "Master_Query";

ExchangeState& Exchange() { return Master().exchange; }

void FreeTransfer(MasterTransfer& transfer) {
  MemoryFree(transfer.data);
  memset(&transfer, 0, sizeof transfer);
  transfer.highest_block = -1;
}

MasterTransfer* FindTransfer(uint32_t id) {
  for (MasterTransfer& transfer : Exchange().transfers)
    if (transfer.id == id) return &transfer;
  return nullptr;
}

// The entry that has been idle longest, when that is at least
// kTransferYieldMs; none while every transfer is making progress.
MasterTransfer* StalledTransfer(uint32_t now) {
  MasterTransfer* oldest = nullptr;
  for (MasterTransfer& transfer : Exchange().transfers) {
    if (ElapsedMs(now, transfer.last_activity) < kTransferYieldMs) continue;
    if (oldest == nullptr || ElapsedMs(now, transfer.last_activity) > ElapsedMs(now, oldest->last_activity))
      oldest = &transfer;
  }
  return oldest;
}

// Tells the player that the masters' view was merged, at most every 4000 ms.
void NoteMastersUpdated(uint32_t now) {
  ExchangeState& exchange = Exchange();
  if (exchange.last_notice != 0 && ElapsedMs(now, exchange.last_notice) <= kNoticeSpacingMs) return;
  ConsolePrint(0, "Master server list updated");
  exchange.last_notice = now;
}

// Database text from a master merged into the master table; the table is
// saved when it changed. Gives the parser's text on a parse error.
const char* MergeFromMaster(char* text, int32_t length, uint32_t now) {
  const char* error = nullptr;
  const DatabaseMerge merged = MergeDatabaseText(text, length, &error);
  if (merged == DatabaseMerge::kParseError) return error;
  if (merged == DatabaseMerge::kConflict) {
    ConsolePrint(0, "Master list not merged: a file entry conflicts with the master table");
    return nullptr;
  }
  NoteMastersUpdated(now);
  if (merged == DatabaseMerge::kChanged) SaveServerDatabase();
  return nullptr;
}

void HandleDatabaseText(const uint8_t* payload, int32_t length, uint32_t now) {
  if (length > master_wire::kDatabaseTextBytes) length = master_wire::kDatabaseTextBytes;
  char text[master_wire::kDatabaseTextBytes + 1];
  memcpy(text, payload, static_cast<size_t>(length));
  master_wire::MaskDatabaseText(reinterpret_cast<uint8_t*>(text), length, QueryToken());
  text[length] = '\0';
  const char* error = MergeFromMaster(text, length + 1, now);
  if (error != nullptr) ConsolePrint(0, "Master list refused: %s", error);
}

void StartTransfer(const uint8_t* payload, int32_t length, uint32_t id, uint32_t now) {
  if (FindTransfer(id) != nullptr || length < master_wire::kHeaderNameOffset) return;
  MasterTransfer* entry = FindTransfer(0);
  if (entry == nullptr) entry = StalledTransfer(now);
  if (entry == nullptr) return;  // as many as the module keeps are making progress
  wire::ByteReader header(payload + 8, 8);
  const int64_t unpacked = header.U32BE();
  const int64_t transferred = header.U32BE();
  if (transferred <= 0 || transferred > kMaxTransferBytes || unpacked <= 0 || unpacked > kMaxUnpackedBytes) {
    ConsolePrint(0, "Master file refused: %lld bytes unpacking to %lld is more than the client takes",
                 static_cast<long long>(transferred), static_cast<long long>(unpacked));
    return;
  }
  FreeTransfer(*entry);
  entry->id = id;
  entry->unpacked_size = static_cast<int32_t>(unpacked);
  entry->transferred_size = static_cast<int32_t>(transferred);
  entry->block_count = static_cast<int32_t>((transferred + master_wire::kBlockBytes - 1) / master_wire::kBlockBytes);
  entry->last_activity = now;
  memcpy(entry->digest, payload + 16, sizeof entry->digest);
  const int32_t name_room = length - master_wire::kHeaderNameOffset;
  const int32_t name_length = name_room < 255 ? name_room : 255;
  memcpy(entry->name, payload + master_wire::kHeaderNameOffset, static_cast<size_t>(name_length));
  entry->name[name_length] = '\0';
  CopyBounded(entry->reply_address, MasterSenderAddress(), sizeof entry->reply_address - 1);
  entry->reply_port = MasterSenderPort();
}

void TakeBlock(HostInterface* host, const uint8_t* payload, int32_t length, MasterTransfer& transfer, uint32_t now) {
  if (length < master_wire::kBlockDataOffset) return;
  wire::ByteReader header(payload + 8, 4);
  const int64_t index = header.U32BE();
  const int64_t next = static_cast<int64_t>(transfer.highest_block) + 1;
  if (index > next) {
    // A gap: the master is asked to go on from the first missing block.
    if (transfer.last_restart != 0 && ElapsedMs(now, transfer.last_restart) < kRestartSpacingMs) return;
    if (transfer.restart_count >= kMostRestarts) {
      FreeTransfer(transfer);
      return;
    }
    char restart[64];
    FormatText(restart, sizeof restart, master_wire::kRestartFormat, static_cast<int>(transfer.id),
               static_cast<int>(next));
    SendMasterTextThroughHost(host, transfer.reply_address, transfer.reply_port, restart, now);
    ++transfer.restart_count;
    transfer.last_restart = now;
    return;
  }
  if (index > transfer.highest_block) transfer.highest_block = static_cast<int32_t>(index);
  transfer.last_activity = now;
  const int64_t offset = index * master_wire::kBlockBytes;
  int64_t chunk = length - master_wire::kBlockDataOffset;
  if (chunk > transfer.transferred_size - offset) chunk = transfer.transferred_size - offset;
  if (length < master_wire::kBlockDataOffset + 1 || offset >= transfer.transferred_size || chunk < 1 ||
      chunk > master_wire::kBlockBytes)
    return;
  ++transfer.blocks_received;
  if (transfer.data == nullptr) {
    transfer.data = static_cast<uint8_t*>(MemoryAllocateZeroed(static_cast<size_t>(transfer.transferred_size) + 1, 1));
    if (transfer.data == nullptr) return;
  }
  memcpy(transfer.data + offset, payload + master_wire::kBlockDataOffset, static_cast<size_t>(chunk));
}

void HandleTransferDatagram(HostInterface* host, uint8_t* payload, int32_t length, uint32_t now) {
  if (length < 4) return;
  const uint32_t id = wire::ByteReader(payload, 4).U32BE();
  if (id == 0) return;
  if (length > 4) master_wire::MaskTransfer(payload, length, QueryToken());
  if (length >= 8 && memcmp(payload + 4, master_wire::kHeaderMagic, 4) == 0) {
    StartTransfer(payload, length, id, now);
  } else if (length >= 8 && memcmp(payload + 4, master_wire::kBlockMagic, 4) == 0) {
    MasterTransfer* transfer = FindTransfer(id);
    if (transfer != nullptr) TakeBlock(host, payload, length, *transfer, now);
  } else {
    ConsolePrintLimited(Exchange().unknown_data, now, "Unknown data received len=%d", static_cast<int>(length));
  }
}

// ---- completed transfers ---------------------------------------------------

bool NameContains(const char* name, const char* fragment) { return FindText(name, fragment, 0) != nullptr; }

bool IsModuleName(const char* name) {
  const size_t length = strlen(name);
  return length >= 5 && SameLetters(name + length - 4, master_wire::kModuleSuffix);
}

// Writes the file under its name in the home folder: all of it, or nothing.
const char* StoreFile(const char* name, const uint8_t* bytes, int32_t size) {
  if (!IsSafeHomeName(name)) return "the file name leaves the client's folder";
  ReplacingFile file(HomePath(name));
  if (!file.IsOpen()) return "the file cannot be created";
  file.Write(bytes, size);
  return file.Commit() ? nullptr : "the file could not be written whole";
}

// Puts a complete transfer's file where its name says. Gives an error text.
const char* InstallFile(HostInterface* host, MasterTransfer& transfer, const uint8_t* file, int32_t size,
                        uint32_t now) {
  const char* name = transfer.name;
  if (NameContains(name, master_wire::kDatabaseFragment)) {
    char* text = static_cast<char*>(MemoryAllocate(static_cast<size_t>(size) + 1));
    if (text == nullptr) return "out of memory";
    memcpy(text, file, static_cast<size_t>(size));
    text[size] = '\0';
    const char* error = MergeFromMaster(text, size + 1, now);
    MemoryFree(text);
    return error;
  }
  if (NameContains(name, master_wire::kIgnoredFragment)) return nullptr;
  if (NameContains(name, master_wire::kNameCacheFragment)) {
    if (!ReplaceNameCache(file, size)) return nullptr;
    return StoreFile(name, file, size);
  }
  if (!IsModuleName(name)) return nullptr;
  if (!ModuleFileMayBeStored(name, file, size)) return "the master table does not list this module";
  const char* error = StoreFile(name, file, size);
  static const char kModuleArrived[] = {'C', '\0'};
  SendPayload(host, kModuleArrived, sizeof kModuleArrived, now);
  ReconcileModules(host, now);
  return error;
}

void CompleteTransfer(HostInterface* host, MasterTransfer& transfer, uint32_t now) {
  SeededMd5 md5;
  md5.Digest(transfer.data, transfer.transferred_size, 0);
  const char* error = nullptr;
  uint8_t* unpacked = nullptr;
  const uint8_t* file = transfer.data;
  int32_t size = transfer.transferred_size;
  if (memcmp(md5.DigestBytes(), transfer.digest, sizeof transfer.digest) != 0) {
    error = "the file's digest does not match";
  } else if (transfer.unpacked_size != transfer.transferred_size) {
    unpacked = static_cast<uint8_t*>(MemoryAllocate(static_cast<size_t>(transfer.unpacked_size) + 1));
    uLongf room = static_cast<uLongf>(transfer.unpacked_size);
    if (unpacked == nullptr) {
      error = "out of memory";
    } else if (MemoryUncompress(unpacked, &room, transfer.data, static_cast<uLong>(transfer.transferred_size)) !=
               Z_OK) {
      error = "the file does not unpack";
    } else {
      file = unpacked;
      size = static_cast<int32_t>(room);
    }
  }
  if (error == nullptr) error = InstallFile(host, transfer, file, size, now);
  if (error != nullptr) ConsolePrint(0, "Master file %s not installed: %s", transfer.name, error);
  MemoryFree(unpacked);
  FreeTransfer(transfer);
}

}  // namespace

void HandleMasterDatagram(HostInterface* host, const uint8_t* data, int32_t length, uint32_t now) {
  if (data == nullptr || length < 4) return;
  // The payload is unmasked in place: a copy, so that the caller's bytes stay.
  uint8_t payload[master_wire::kDatagramBytes];
  int32_t n = length - 4;
  if (n > static_cast<int32_t>(sizeof payload)) n = static_cast<int32_t>(sizeof payload);
  memcpy(payload, data + 4, static_cast<size_t>(n));
  if (data[3] == master_wire::kDatabaseKind) {
    HandleDatabaseText(payload, n, now);
  } else if (data[3] == master_wire::kTransferKind) {
    HandleTransferDatagram(host, payload, n, now);
  }
}

void ReportUnknownMasterData(uint32_t now) { ConsoleReportLeftOut(Exchange().unknown_data, now); }

void ProcessMasterTransfers(HostInterface* host, uint32_t now) {
  for (MasterTransfer& transfer : Exchange().transfers) {
    if (transfer.id == 0) continue;
    const bool whole =
        transfer.blocks_received >= 1 && transfer.data != nullptr && transfer.highest_block + 1 >= transfer.block_count;
    if (whole) {
      CompleteTransfer(host, transfer, now);
    } else if (transfer.last_activity == 0 || ElapsedMs(now, transfer.last_activity) > kTransferIdleMs) {
      FreeTransfer(transfer);  // also a header whose blocks never came
    }
  }
}

void QueryMasterWhenDue(HostInterface* host, uint32_t now) {
  ExchangeState& exchange = Exchange();
  if (CurrentSettings().lan == 1) return;
  if (ElapsedMs(now, exchange.last_query_time) < static_cast<int32_t>(kMasterQueryPeriodMs)) return;
  exchange.slot = (exchange.slot + 1) % kMasterRecords;
  exchange.last_query_time = now;
  MasterTable& table = Master().table;
  if (exchange.slot >= table.count) return;
  MasterRecord& master = table.records[exchange.slot];
  char* query = reinterpret_cast<char*>(DatagramBuffer());
  if (master.id == 1) return;
  if (master.id == 0) {
    master_wire::FormatQuery(1, query, kDatagramBufferBytes, QueryToken(), kQueryNumber);
    CallHostKeyword(host, kHostQueryCommand, query);
    return;
  }
  ++master.query_count;
  SaveServerDatabase();
  master_wire::FormatQuery(1, query, kDatagramBufferBytes, QueryToken(), kQueryNumber);
  ResolveIntoText(master.host, master.address);
  if (master.address[0] == '\0') {
    ConsolePrint(0, "No Master Query Sent - DNS has not yet resolved for %s", master.host);
    return;
  }
  const uint16_t port = static_cast<uint16_t>(master.port);
  if (CurrentSettings().net_port != 0 && OwnSocket() == kNoSocket) OpenOwnSocket();
  NoteMasterSender(master.address, port);  // answers through the game come from it
  SendMasterText(host, master.address, port, query, now);
  master_wire::FormatQuery(2, query, kDatagramBufferBytes, QueryToken(), kQueryNumber);
  SendMasterTextThroughHost(host, master.address, port, query, now);
  ConsolePrint(0, "Querying master %s (%s)", master.host, master.address);
}

}  // namespace master
