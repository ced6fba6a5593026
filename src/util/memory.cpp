#include "util/memory.h"

#include <cstdint>
#include <cstdlib>

namespace {

MemoryFailureHook g_failure_hook = nullptr;
unsigned g_failures = 0;

void* Counted(void* block) {
  if (block == nullptr) ++g_failures;
  return block;
}

}  // namespace

void* MemoryAllocate(size_t size) {
  if (g_failure_hook != nullptr && !g_failure_hook(size, __builtin_return_address(0))) return Counted(nullptr);
  return Counted(malloc(size > 0 ? size : 1));
}

void* MemoryAllocateZeroed(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return Counted(nullptr);
  if (g_failure_hook != nullptr && !g_failure_hook(count * size, __builtin_return_address(0))) return Counted(nullptr);
  return Counted(calloc(count > 0 ? count : 1, size > 0 ? size : 1));
}

void MemoryFree(void* block) { free(block); }

voidpf MemoryZlibAllocate(voidpf, uInt items, uInt size) { return MemoryAllocateZeroed(items, size); }

void MemoryZlibFree(voidpf, voidpf block) { MemoryFree(block); }

int MemoryUncompress(uint8_t* out, uLongf* out_size, const uint8_t* in, uLong in_size) {
  z_stream stream = {};
  stream.zalloc = MemoryZlibAllocate;
  stream.zfree = MemoryZlibFree;
  stream.next_in = const_cast<Bytef*>(in);
  stream.avail_in = static_cast<uInt>(in_size);
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(*out_size);
  int result = inflateInit(&stream);
  if (result != Z_OK) return result;
  result = inflate(&stream, Z_FINISH);
  *out_size = stream.total_out;
  inflateEnd(&stream);
  if (result == Z_STREAM_END) return Z_OK;
  if (result == Z_NEED_DICT || (result == Z_BUF_ERROR && stream.avail_out > 0)) return Z_DATA_ERROR;
  return result == Z_OK ? Z_BUF_ERROR : result;
}

unsigned MemoryFailureCount() { return g_failures; }

void MemorySetFailureHook(MemoryFailureHook hook) { g_failure_hook = hook; }
