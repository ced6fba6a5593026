#include "screenshot/memory.h"

#include <cstdlib>

#include "screenshot/screenshot_state.h"
#include "util/memory.h"

namespace screenshot {

namespace {

// Each block starts with its size and how many of its first bytes have been
// written once (warm), ahead of the bytes handed out (kept at 16 bytes so
// that what follows stays aligned for any type).
struct BlockHeader {
  size_t size;
  size_t warm;
};
const size_t kHeaderBytes = 16;
static_assert(sizeof(BlockHeader) <= kHeaderBytes, "the header fits ahead of the block");
const size_t kPageBytes = 4096;

BlockHeader& Header(void* block) {
  return *reinterpret_cast<BlockHeader*>(static_cast<uint8_t*>(block) - kHeaderBytes);
}
size_t BlockSize(void* block) { return Header(block).size; }

}  // namespace

void* AllocateScreenshotMemory(size_t size) {
  SpareMemory& spare = Screenshots().spare;
  int best = -1;
  for (int i = 0; i < spare.count; ++i) {
    const size_t have = BlockSize(spare.blocks[i]);
    if (have >= size && have / 2 <= size && (best < 0 || have < BlockSize(spare.blocks[best]))) best = i;
  }
  if (best >= 0) {
    void* block = spare.blocks[best];
    spare.bytes -= BlockSize(block);
    spare.blocks[best] = spare.blocks[--spare.count];
    return block;
  }
  if (size > SIZE_MAX - kHeaderBytes) return nullptr;
  uint8_t* start = static_cast<uint8_t*>(MemoryAllocate(size + kHeaderBytes));
  if (start == nullptr) return nullptr;
  BlockHeader* header = reinterpret_cast<BlockHeader*>(start);
  header->size = size;
  header->warm = 0;
  return start + kHeaderBytes;
}

void ReleaseScreenshotMemory(void* block) {
  if (block == nullptr) return;
  SpareMemory& spare = Screenshots().spare;
  const size_t size = BlockSize(block);
  if (size >= kSpareMinBytes && spare.count < kSpareBlocks && size <= kSpareMaxBytes - spare.bytes) {
    spare.blocks[spare.count++] = block;
    spare.bytes += size;
    return;
  }
  MemoryFree(static_cast<uint8_t*>(block) - kHeaderBytes);
}

void DropSpareScreenshotMemory() {
  SpareMemory& spare = Screenshots().spare;
  for (int i = 0; i < spare.count; ++i) MemoryFree(static_cast<uint8_t*>(spare.blocks[i]) - kHeaderBytes);
  spare.count = 0;
  spare.bytes = 0;
}

size_t SpareScreenshotBytes() { return Screenshots().spare.bytes; }

bool WarmScreenshotMemory(void* block, size_t bytes) {
  BlockHeader& header = Header(block);
  const size_t want = bytes < header.size ? bytes : header.size;
  if (header.warm >= want) return true;
  const size_t end = want - header.warm > kWarmBytesPerCycle ? header.warm + kWarmBytesPerCycle : want;
  // A read and a write of the same byte on each page: the page is mapped
  // and made private now, and whatever the block holds stays as it was.
  volatile uint8_t* bytes_of = static_cast<uint8_t*>(block);
  for (size_t at = header.warm; at < end; at += kPageBytes) bytes_of[at] = bytes_of[at];
  bytes_of[end - 1] = bytes_of[end - 1];
  header.warm = end;
  Screenshots().readying = 1;
  return false;
}

bool ReserveBuffer(uint8_t** buffer, int32_t* capacity, int64_t size) {
  if (size > INT32_MAX) return false;
  if (*buffer != nullptr && *capacity >= size) return true;
  ReleaseScreenshotMemory(*buffer);
  *buffer = static_cast<uint8_t*>(AllocateScreenshotMemory(static_cast<size_t>(size)));
  *capacity = *buffer != nullptr ? static_cast<int32_t>(size) : 0;
  return *buffer != nullptr;
}

}  // namespace screenshot
