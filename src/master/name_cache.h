// Master host names to IPv4 addresses without a blocking lookup: dotted
// literals, and the name cache the masters deliver ("tgns.dat").
#pragma once

#include <cstdint>

namespace master {

// A dotted literal: exactly three '.' before the end or a ':' and only
// digits besides; each part is read as decimal, kept modulo 256.
bool ParseDottedLiteral(const char* name, uint8_t octets[4]);
// A literal, or the cache's address for the name (letter case ignored; of
// several entries with its key a random one). No DNS lookup.
bool ResolveFromCache(const char* name, uint8_t octets[4]);
// "%u.%u.%u.%u" into address (16 bytes at least), or an empty text when the
// name does not resolve. An empty name leaves address as it is.
void ResolveIntoText(const char* name, char* address);

// Loads "tgns.dat" from the home folder (at most 1024 bytes, 8 a name); a
// missing file leaves the cache empty.
void LoadNameCache();
// A cache delivered by a master takes the place of the current one (at most
// 128 names are kept). true when it differs from what the cache held.
bool ReplaceNameCache(const uint8_t* bytes, int32_t size);
int32_t NameCacheCount();

}  // namespace master
