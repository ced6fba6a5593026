// A zlib stream made a bounded amount of work at a time: byte for byte the
// stream that zlib's compress() makes at the default level (window 32 KiB,
// 16 K symbols a block, lazy matching with chains of 128), so that a large
// image can be compressed over many short calls.
//
// zlib's own deflate() can be fed a slice at a time, but it writes a whole
// block (up to 16 K symbols) in the call whose input fills it; on images that
// compress fast that one call costs as much as a tenth of the whole stream.
// Here writing a block is a step of its own, a few thousand symbols a call.
#pragma once

#include <cstdint>

namespace sliced_deflate {

const int kWindowBits = 15;
const uint32_t kWindowSize = 1u << kWindowBits;
const uint32_t kHashSize = 1u << 15;     // memory level 8
const int32_t kSymbolsPerBlock = 16383;  // a block ends when its buffer is full
const int kLiteralCodes = 286;           // literals, end of block, lengths
const int kDistanceCodes = 30;
const int kLengthCodeCount = 19;  // codes of the code lengths
const int kHeapSize = 2 * kLiteralCodes + 1;
const int kMaxBits = 15;

struct TreeNode {
  uint16_t freq;
  uint16_t code;
  uint16_t dad;
  uint16_t len;
};

struct Tree {
  TreeNode* nodes;
  int max_code;
};

}  // namespace sliced_deflate

// One stream's whole state (about 250 KB): the caller provides the memory.
struct SlicedDeflate {
  // Input, output and where they stand.
  const uint8_t* next_in;
  uint32_t avail_in;
  uint32_t total_in;
  uint32_t adler;
  uint8_t* out;
  uint32_t capacity;
  uint32_t written;
  uint64_t bits;
  int bit_count;
  bool overflow;  // the output did not fit: the stream failed

  int phase;
  uint32_t chain_steps;  // candidates looked at, all told
  uint64_t work_done;    // units of work, all told

  // The window and its hash chains, as zlib keeps them.
  uint32_t strstart;
  uint32_t lookahead;
  uint32_t match_start;
  uint32_t prev_match;
  uint32_t match_length;
  uint32_t prev_length;
  uint32_t ins_h;
  uint32_t insert;
  int match_available;
  int64_t block_start;

  // The block being collected: (distance, length or literal) triples.
  int32_t sym_next;
  int32_t sym_sent;
  // The block to be written: its bytes in the window (for a stored block),
  // whether it is the last, and its kind.
  int64_t flush_start;
  uint32_t flush_length;
  bool flush_last;
  bool flush_static;

  // Trees of the current block.
  sliced_deflate::TreeNode literal_tree[sliced_deflate::kHeapSize];
  sliced_deflate::TreeNode distance_tree[2 * sliced_deflate::kDistanceCodes + 1];
  sliced_deflate::TreeNode length_tree[2 * sliced_deflate::kLengthCodeCount + 1];
  sliced_deflate::Tree literal_desc;
  sliced_deflate::Tree distance_desc;
  sliced_deflate::Tree length_desc;
  int heap[sliced_deflate::kHeapSize];
  int heap_len;
  int heap_max;
  uint8_t depth[sliced_deflate::kHeapSize];
  uint16_t bl_count[sliced_deflate::kMaxBits + 1];
  uint64_t opt_len;
  uint64_t static_len;
  int max_blindex;

  // Matches are compared 8 bytes at a time, up to 7 past the window.
  uint8_t window[2 * sliced_deflate::kWindowSize + 8];
  uint16_t prev[sliced_deflate::kWindowSize];
  uint16_t head[sliced_deflate::kHashSize];
  uint8_t sym_buf[3 * sliced_deflate::kSymbolsPerBlock];
};

enum class DeflateProgress { kMore, kDone, kFailed };

// Starts the stream over size bytes of input into out (capacity bytes). The
// input and output stay where they are until the stream is done.
void StartSlicedDeflate(SlicedDeflate& stream, const uint8_t* input, uint32_t size, uint8_t* out, uint32_t capacity);

// Goes on with the stream for about `work` units: a position of the input
// passed or a candidate match looked at is one, a symbol written six, a
// block's trees 2048. kDone once the whole stream is written
// (SlicedDeflateSize bytes), kFailed when it did not fit the output.
[[nodiscard]] DeflateProgress RunSlicedDeflate(SlicedDeflate& stream, int32_t work);

inline uint32_t SlicedDeflateSize(const SlicedDeflate& stream) { return stream.written; }

// The least work the whole stream can take: what is done so far, and a unit
// for every input byte not yet matched.
uint64_t SlicedDeflateLeastWork(const SlicedDeflate& stream);
