// Constants of the master-server protocol that both ends must hold alike.
// The reference master includes this header too, so the two cannot drift.
#pragma once

#include <cstdint>

namespace master_wire {

const uint16_t kMasterPort = 16567;
// A datagram is at most this long; transfers carry this much a block.
const int kDatagramBytes = 2048;
const int kBlockBytes = 1024;
// Database text in a '1' datagram is cut to this length.
const int kDatabaseTextBytes = 1400;

// Every datagram opens with "TG_" and a kind byte: '1' database text, 'C' a
// transfer datagram (header "RWFH" or block "RWFB") from a master; 'Q' the
// module's queries.
const char kDatabaseKind = '1';
const char kTransferKind = 'C';
const char kHeaderMagic[] = "RWFH";
const char kBlockMagic[] = "RWFB";
// Transfer header: id, magic, unpacked size, transferred size (big-endian),
// MD5 of the transferred bytes, name (NUL-terminated, at most 255).
const int kHeaderNameOffset = 32;
// Block: id, magic, block index (big-endian), data.
const int kBlockDataOffset = 12;

// A query, 52 characters: which 1 (the one a master answers) or 2 (sent
// after it through the game), the module's token (8 to 15 characters,
// never a blank) and a number. Gives the length.
int FormatQuery(int which, char* out, int size, const char* token, int number);
// The token inside a query, into out (16 bytes); false when text is no
// query of kind 1.
bool ReadQueryToken(const char* text, int length, char* out);
// Asks a master to send a transfer again from a block on.
const char kRestartFormat[] = "restart %d %d";

// Masters mask what they send with the token: database text byte i with
// token character i, transfer bytes from offset 4 on, byte k with token
// character k + 8 (both modulo the token length). The same call unmasks.
void MaskDatabaseText(uint8_t* bytes, int length, const char* token);
void MaskTransfer(uint8_t* payload, int length, const char* token);

// What a transferred file is, by its name: database text, a file to
// ignore, the name cache, or a module.
const char kDatabaseFragment[] = ".db";
const char kIgnoredFragment[] = ".txt";
const char kNameCacheFragment[] = "tgns";
const char kModuleSuffix[] = ".dll";

// The built-in masters: names in the reserved ".invalid" domain, which
// never resolve (real masters come from a master's database or "tgcl.db"),
// and loopback fallback addresses.
const char kMasterHostFixed[] = "master.tallyguard.invalid";
const char kMasterHostPattern[] = "master%d.tallyguard.invalid";
const char kFallbackMasters[] = "127.0.0.2 127.0.0.3 127.0.0.4 127.0.0.5";

}  // namespace master_wire
