// Every block of heap memory the module takes comes from here, zlib's work
// memory included, so that a test can make any one of them fail and check
// that the module survives it. Blocks are given back with MemoryFree.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

// size bytes (at least one), or nullptr when there is no memory.
void* MemoryAllocate(size_t size);
// count * size bytes set to zero, or nullptr (also when the product
// overflows).
void* MemoryAllocateZeroed(size_t count, size_t size);
// Gives a block back; nullptr is fine.
void MemoryFree(void* block);

// For zlib streams: stream.zalloc and stream.zfree.
voidpf MemoryZlibAllocate(voidpf opaque, uInt items, uInt size);
void MemoryZlibFree(voidpf opaque, voidpf block);

// Inflates a whole zlib stream into out, which holds *out_size bytes; on
// success *out_size is the unpacked size. Z_OK, or zlib's error (Z_MEM_ERROR
// when memory fails, Z_BUF_ERROR when out is too small or the stream ends
// early).
int MemoryUncompress(uint8_t* out, uLongf* out_size, const uint8_t* in, uLong in_size);

// How many requests for memory have failed since the module was loaded;
// the cycle tells the player when it grows.
unsigned MemoryFailureCount();

// Test seam: when set, asked before every allocation with its size and the
// code address that asked for it; false makes that allocation fail.
typedef bool (*MemoryFailureHook)(size_t size, const void* site);
void MemorySetFailureHook(MemoryFailureHook hook);
