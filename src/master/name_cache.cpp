#include "master/name_cache.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "master/master_state.h"
#include "output/console.h"
#include "platform/platform.h"
#include "util/seeded_md5.h"
#include "util/text.h"

namespace master {

namespace {

// The MD5 of the lower-cased name (its first 1024 characters).
void NameDigest(const char* name, uint8_t digest[16]) {
  char lower[1025];
  CopyBounded(lower, name, sizeof lower - 1);
  for (char* p = lower; *p != '\0'; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  SeededMd5 md5;
  md5.Digest(lower, static_cast<int32_t>(strlen(lower)), 0);
  memcpy(digest, md5.DigestBytes(), 16);
}

}  // namespace

bool ParseDottedLiteral(const char* name, uint8_t octets[4]) {
  if (name == nullptr) return false;
  int dots = 0;
  const char* p = name;
  for (; *p != '\0' && *p != ':'; ++p) {
    if (*p == '.') {
      ++dots;
    } else if (*p < '0' || *p > '9') {
      return false;
    }
  }
  if (dots != 3) return false;
  const char* part = name;
  for (int i = 0; i < 4; ++i) {
    octets[i] = static_cast<uint8_t>(ReadDigits(part));
    const char* dot = strchr(part, '.');
    part = dot != nullptr ? dot + 1 : part;
  }
  return true;
}

bool ResolveFromCache(const char* name, uint8_t octets[4]) {
  if (ParseDottedLiteral(name, octets)) return true;
  const TransportState& transport = Master().transport;
  if (name == nullptr || transport.name_count <= 0) return false;
  uint8_t digest[16];
  NameDigest(name, digest);
  int matches = 0;
  for (int i = 0; i < transport.name_count; ++i) matches += memcmp(transport.names[i].key, digest + 9, 4) == 0;
  if (matches == 0) return false;
  // Of several entries with the key, a random one: the r-th in table order.
  int wanted = matches == 1 ? 1 : rand() % matches + 1;
  for (int i = 0; i < transport.name_count; ++i) {
    if (memcmp(transport.names[i].key, digest + 9, 4) != 0 || --wanted > 0) continue;
    for (int k = 0; k < 4; ++k) octets[k] = static_cast<uint8_t>(transport.names[i].masked[k] ^ digest[k]);
    return true;
  }
  return false;
}

void ResolveIntoText(const char* name, char* address) {
  if (name == nullptr || name[0] == '\0') return;
  uint8_t octets[4];
  if (!ResolveFromCache(name, octets)) {
    address[0] = '\0';
    return;
  }
  FormatText(address, 16, "%u.%u.%u.%u", octets[0], octets[1], octets[2], octets[3]);
}

void LoadNameCache() {
  TransportState& transport = Master().transport;
  transport.name_count = 0;
  FILE* file = PlatformOpenFile(HomePath("tgns.dat"), "rb");
  if (file == nullptr) return;
  uint8_t bytes[kNameCacheFileBytes];
  const size_t read = fread(bytes, 1, sizeof bytes, file);
  fclose(file);
  transport.name_count = static_cast<int32_t>(read / sizeof(NameCacheEntry));
  memcpy(transport.names, bytes, static_cast<size_t>(transport.name_count) * sizeof(NameCacheEntry));
}

bool ReplaceNameCache(const uint8_t* bytes, int32_t size) {
  TransportState& transport = Master().transport;
  if (bytes == nullptr || size < 0) size = 0;
  int32_t count = size / static_cast<int32_t>(sizeof(NameCacheEntry));
  if (count > kNameCacheEntries) count = kNameCacheEntries;  // the rest does not fit the table
  const size_t kept = static_cast<size_t>(count) * sizeof(NameCacheEntry);
  if (count == transport.name_count && static_cast<int32_t>(kept) == size &&
      (kept == 0 || memcmp(transport.names, bytes, kept) == 0))
    return false;
  transport.name_count = count;
  if (kept > 0) memcpy(transport.names, bytes, kept);
  return true;
}

int32_t NameCacheCount() { return Master().transport.name_count; }

}  // namespace master
