#include "master/update.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "master/master_state.h"
#include "output/console.h"
#include "output/text_file.h"
#include "platform/platform.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/memory.h"
#include "util/path_check.h"
#include "util/seeded_md5.h"
#include "util/text.h"

namespace master {

namespace {

const int32_t kTransferSilenceMs = 20000;

}  // namespace

void AnnounceUpdate(char* argument, uint32_t now) {
  UpdateTransfer& transfer = Master().update;
  DropUpdateTransfer();
  ArgList words(argument, 1, 0);
  if (words.Length(1) != 32 || words.Length(2) == 0) return;
  const int32_t size = ReadDigits(words.Word(0));
  if (size <= 0 || size > kMaxUpdateSize) return;
  char file[256];
  CopyBounded(file, words.Word(2), 255);
  if (!IsPlainHomeName(file)) return;  // it must stay inside "htm\\"
  CopyBounded(transfer.digest, words.Word(1), 32);
  FormatText(transfer.name, sizeof transfer.name, "htm\\%s", file);
  const size_t name_length = strlen(transfer.name);
  if (name_length < 3 || !SameLetters(transfer.name + name_length - 3, "htm")) {
    transfer.name[0] = '\0';
    return;
  }
  transfer.buffer = static_cast<uint8_t*>(MemoryAllocate(static_cast<size_t>(size)));
  if (transfer.buffer == nullptr) {
    transfer.name[0] = '\0';
    return;
  }
  transfer.size = size;
  transfer.last_chunk = -1;
  transfer.last_chunk_time = now;
}

int UpdateTransferActive(uint32_t now) {
  const UpdateTransfer& transfer = Master().update;
  if (transfer.buffer == nullptr) return 0;
  if (ElapsedMs(now, transfer.last_chunk_time) < kTransferSilenceMs) return 1;
  DropUpdateTransfer();
  return 0;
}

void DropUpdateTransfer() {
  UpdateTransfer& transfer = Master().update;
  MemoryFree(transfer.buffer);
  transfer.buffer = nullptr;
  transfer.size = 0;
  transfer.name[0] = '\0';
}

namespace {

const int32_t kChunkBytes = 1024;
const int32_t kRequestSpacingMs = 3000;
// A package is read in pieces of this many characters; a data record with
// its marker must fit in one.
const int kPackagePieceChars = 2048;
const long kMaxPackageFileBytes = 2 * static_cast<long>(kMaxUpdateSize) + 65536;

// The kind letter of the requests: the letter after the first of the file
// name ('A' agent, 'C' client), upper case.
char KindLetter(const UpdateTransfer& transfer) {
  char letter = transfer.name[5];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  return letter != '\0' ? letter : 'A';
}

void RequestChunk(HostInterface* host, UpdateTransfer& transfer, int32_t chunk, uint32_t now) {
  char request[32];
  FormatText(request, sizeof request, "%cUPD%c%d", 'O', KindLetter(transfer), static_cast<int>(chunk));
  SendPayload(host, request, static_cast<int32_t>(strlen(request)) + 1, now);
  transfer.last_request = now;
}

bool RequestDue(const UpdateTransfer& transfer, uint32_t now) {
  return transfer.last_request == 0 || ElapsedMs(now, transfer.last_request) > kRequestSpacingMs;
}

// The finished download: kept under its name when its MD5 is the announced
// one, else as "crptfile.dat".
void FinishDownload(UpdateTransfer& transfer) {
  SeededMd5 md5;
  md5.Digest(transfer.buffer, transfer.size, 0);
  SeededMd5 expected;
  const bool matches =
      expected.SetFromHex(transfer.digest) && memcmp(md5.DigestBytes(), expected.DigestBytes(), 16) == 0;
  if (!matches) ConsolePrint(0, "Corrupted File Received: %s", transfer.name);
  ReplacingFile file(HomePath(matches ? transfer.name : "crptfile.dat"));
  file.Write(transfer.buffer, transfer.size);
  file.Commit();
  DropUpdateTransfer();
}

int HexDigit(char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; }

// The package's records, read from its text. false when it is malformed.
struct Package {
  uint8_t* packed = nullptr;
  uint32_t packed_size = 0, unpacked_size = 0, written = 0;
  char digest_a[33] = "", digest_b[33] = "";
  ~Package() { MemoryFree(packed); }
};

// A header word: up to a blank, a '<' or the end.
const char* HeaderWord(const char* p, const char* end, char* out, size_t size, size_t* length) {
  while (p < end && *p == ' ') ++p;
  size_t n = 0;
  while (p < end && *p != ' ' && *p != '<') {
    if (n + 1 < size) out[n] = *p;
    ++n;
    ++p;
  }
  out[n + 1 < size ? n : size - 1] = '\0';
  *length = n;
  return p;
}

bool ReadHeader(const char* p, const char* end, Package& package) {
  if (p >= end || *p != 'S') return false;
  ++p;
  char words[4][40];
  size_t lengths[4];
  for (int i = 0; i < 4; ++i) {
    p = HeaderWord(p, end, words[i], sizeof words[i], &lengths[i]);
    if (lengths[i] == 0) return false;
  }
  if (lengths[2] != 32 || lengths[3] != 32) return false;  // compared with the digests later
  package.packed_size = static_cast<uint32_t>(ReadHex(words[0], 0));
  package.unpacked_size = static_cast<uint32_t>(ReadHex(words[1], 0));
  CopyBounded(package.digest_a, words[2], 32);
  CopyBounded(package.digest_b, words[3], 32);
  if (package.packed_size == 0 || package.packed_size > static_cast<uint32_t>(kMaxUpdateSize)) return false;
  package.packed = static_cast<uint8_t*>(MemoryAllocate(package.packed_size));
  return package.packed != nullptr;
}

bool ReadData(const char* p, const char* end, Package& package) {
  uint32_t digits = 0;
  for (const char* q = p; q < end; ++q) digits += HexDigit(*q) >= 0;
  if (package.packed_size < package.written + digits / 2) return false;
  int high = -1;
  for (; p < end; ++p) {
    const int digit = HexDigit(*p);
    if (digit < 0) continue;
    if (high < 0) {
      high = digit;
    } else {
      package.packed[package.written++] = static_cast<uint8_t>(high << 4 | digit);
      high = -1;
    }
  }
  return true;
}

// Walks the records of the package text. A record ends at the next '<'; a
// data record that runs to the end of the text is not read (the last one
// must be closed by a tag), nor one longer than a piece of the file.
bool ReadPackage(const char* text, long size, Package& package) {
  const char* end = text + size;
  for (const char* p = text; p < end; ++p) {
    if (*p != '<' || end - p < 3 || (p[1] != 'p' && p[1] != 'P') || p[2] != '>') continue;
    const char* record = p + 3;
    while (record < end && *record == ' ') ++record;
    const char* close = static_cast<const char*>(memchr(record, '<', static_cast<size_t>(end - record)));
    if (package.packed == nullptr) {
      if (!ReadHeader(record, close != nullptr ? close : end, package)) return false;
    } else if (close != nullptr) {
      if (close - p > kPackagePieceChars || !ReadData(record, close, package)) return false;
    }
    if (close == nullptr) break;
    p = close - 1;
  }
  return package.packed != nullptr;
}

}  // namespace

void HandleUpdateData(HostInterface* host, const uint8_t* argument, int32_t length, uint32_t now) {
  UpdateTransfer& transfer = Master().update;
  transfer.last_chunk_time = now;
  if (transfer.buffer != nullptr && transfer.name[0] != '\0') {
    if (argument == nullptr || length < 2) return;
    const int32_t n = argument[0] << 8 | argument[1];
    if (n != 0 && n > transfer.last_chunk + 1) {
      if (RequestDue(transfer, now)) RequestChunk(host, transfer, transfer.last_chunk + 1, now);
      return;
    }
    transfer.last_chunk = n;
    const int64_t offset = static_cast<int64_t>(n) * kChunkBytes;
    int64_t count = length - 2;
    if (count > transfer.size - offset) count = transfer.size - offset;
    if (count > 0) memcpy(transfer.buffer + offset, argument + 2, static_cast<size_t>(count));
    if (count > 0 && offset + count >= transfer.size) FinishDownload(transfer);
    return;
  }
  if (transfer.buffer != nullptr) DropUpdateTransfer();
  if (transfer.last_request != 0 && (!RequestDue(transfer, now) || transfer.name[0] == '\0')) return;
  RequestChunk(host, transfer, -1, now);
}

const char* InstallPackage(const char* package_path, const char* target_path, uint32_t expected_size,
                           const uint8_t (*expected_digests)[16]) {
  uint8_t* text = nullptr;
  long size = 0;
  const FileRead read = ReadWholeFile(package_path, kMaxPackageFileBytes, &text, &size);
  if (read == FileRead::kMissing || (read == FileRead::kUnreadable && !PlatformFileExists(package_path)))
    return "ERROR: Cannot open source file";
  Package package;
  const bool well_formed = read == FileRead::kRead && ReadPackage(reinterpret_cast<const char*>(text), size, package);
  MemoryFree(text);
  if (!well_formed || package.written != package.packed_size) return "ERROR: Memory Allocation";
  SeededMd5 md5;
  md5.Digest(package.packed, static_cast<int32_t>(package.packed_size), 0);
  if (strcmp(md5.Hex(), package.digest_a) != 0) return "ERROR: Security Mismatch (A)";
  md5.Digest(package.packed + 1, static_cast<int32_t>(package.packed_size) - 1, 0);
  if (strcmp(md5.Hex(), package.digest_b) != 0) return "ERROR: Security Mismatch (B)";
  if (package.unpacked_size > kMaxModuleSize) return "ERROR: Failed to Uncompress";
  uint8_t* module = static_cast<uint8_t*>(MemoryAllocate(package.unpacked_size + 1));
  uLongf unpacked = package.unpacked_size;
  if (module == nullptr || MemoryUncompress(module, &unpacked, package.packed, package.packed_size) != Z_OK) {
    MemoryFree(module);
    return "ERROR: Failed to Uncompress";
  }
  const char* error = nullptr;
  if (expected_size > 0 && unpacked != expected_size) error = "ERROR: Size Mismatch";
  if (error == nullptr && expected_digests != nullptr) {
    // A module of no bytes has no second digest to match.
    bool same = unpacked >= 1;
    if (same) {
      md5.Digest(module, static_cast<int32_t>(unpacked), 0);
      same = memcmp(md5.DigestBytes(), expected_digests[0], 16) == 0;
    }
    if (same) {
      md5.Digest(module + 1, static_cast<int32_t>(unpacked) - 1, 0);
      same = memcmp(md5.DigestBytes(), expected_digests[1], 16) == 0;
    }
    if (!same) error = "ERROR: Security Mismatch (C)";
  }
  if (error == nullptr) {
    // The target is replaced only when the whole module is written.
    ReplacingFile file(target_path, WriteFailure::kQuiet);
    if (!file.IsOpen()) {
      error = "ERROR: Cannot open target file for writing";
    } else {
      file.Write(module, static_cast<int>(unpacked));
      if (!file.Commit()) error = "ERROR: File Write Error";
    }
  }
  MemoryFree(module);
  return error;
}

}  // namespace master
