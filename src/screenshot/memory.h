// Memory for screenshots: the capture, its buffers and deflate's state.
// Blocks come from the module's allocator (util/memory.h). Large blocks that are given back are kept for the
// next screenshot, up to a cap: memory fresh from the system costs a page
// fault for every 4 KiB the first time it is written, which would otherwise
// fall on every screenshot's cycles again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "screenshot/screenshot_state.h"

namespace screenshot {

// Blocks of at least this size are kept for reuse when given back...
const size_t kSpareMinBytes = 64 * 1024;
// ...up to kSpareBlocks of them, holding at most this many bytes in all.
const size_t kSpareMaxBytes = 16 * 1024 * 1024;

// A block of size bytes, a kept one when one fits (at least size, at most
// twice it), else a new one; nullptr without memory.
void* AllocateScreenshotMemory(size_t size);

// Gives a block back (nullptr is fine): kept when large and there is room,
// else freed.
void ReleaseScreenshotMemory(void* block);

// Frees every kept block.
void DropSpareScreenshotMemory();

// The bytes the kept blocks hold.
size_t SpareScreenshotBytes();

// Bytes of a block made ready for writing in one cycle: memory fresh from
// the system costs a page fault (about 10 us on a virtual machine) the first
// time each 4 KiB page is written, so a cycle takes on a few pages at most.
const size_t kWarmBytesPerCycle = 32 * 1024;

// Readies the first bytes of a block (at most its size) for writing without
// page faults. true when they already are, and the cycle may go on to use
// them; otherwise touches the next kWarmBytesPerCycle of them (contents
// unchanged) and gives false: the cycle has done its share. A kept block
// stays ready for its next user.
bool WarmScreenshotMemory(void* block, size_t bytes);

// Grows one of a capture's buffers to at least size bytes by giving the old
// one back and taking another (the old contents go). false when size is
// over 2 GiB or there is no memory, with the buffer then empty.
bool ReserveBuffer(uint8_t** buffer, int32_t* capacity, int64_t size);

}  // namespace screenshot
