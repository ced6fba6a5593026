// The deflate algorithm as zlib runs it at level 6 (lazy matching, chains
// of 128, hash of three bytes, 16 K symbols a block, the cheapest of a
// stored, fixed or dynamic block), kept step for step: the same choices on
// the same bytes give the same stream. What differs is only when the work is
// done: the stream stops after a bounded amount of it and goes on in the next
// call, and writing a block is split into steps of its own.
#include "util/sliced_deflate.h"

#include <zlib.h>

#include <cstring>

using sliced_deflate::kDistanceCodes;
using sliced_deflate::kHashSize;
using sliced_deflate::kHeapSize;
using sliced_deflate::kLengthCodeCount;
using sliced_deflate::kLiteralCodes;
using sliced_deflate::kMaxBits;
using sliced_deflate::kSymbolsPerBlock;
using sliced_deflate::kWindowSize;
using sliced_deflate::Tree;
using sliced_deflate::TreeNode;

namespace {

const uint32_t kMinMatch = 3;
const uint32_t kMaxMatch = 258;
const uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;
const uint32_t kMaxDistance = kWindowSize - kMinLookahead;
const uint32_t kWindowMask = kWindowSize - 1;
const uint32_t kHashMask = kHashSize - 1;
const int kHashShift = 5;  // three bytes fill the 15 hash bits

// Level 6.
const uint32_t kGoodMatch = 8;  // search a quarter of the chain after a match this long
const uint32_t kMaxLazy = 16;   // no lazy search after a match this long
const uint32_t kNiceMatch = 128;
const uint32_t kMaxChain = 128;
const uint32_t kTooFar = 4096;  // three-byte matches further back are not worth it

const int kEndOfBlock = 256;
const int kLengthCodes = 29;
const int kMaxCodeLengthBits = 7;
const int kRepeatPrevious = 16;  // repeat the previous length 3 to 6 times
const int kRepeatZero = 17;      // 3 to 10 zero lengths
const int kRepeatZeroLong = 18;  // 11 to 138 zero lengths

const int kExtraLengthBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kExtraDistanceBits[kDistanceCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const int kExtraCodeLengthBits[kLengthCodeCount] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
const uint8_t kCodeLengthOrder[kLengthCodeCount] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Work units a block's trees cost to build and write, and a symbol to
// write (a few times a position matched).
const int32_t kTreeWork = 2048;
const int32_t kSymbolWork = 6;

enum Phase { kMatching, kBlockStart, kSymbols, kDone };

uint16_t Reverse(unsigned code, int length) {
  unsigned result = 0;
  do {
    result |= code & 1;
    code >>= 1;
    result <<= 1;
  } while (--length > 0);
  return static_cast<uint16_t>(result >> 1);
}

// Canonical codes for the lengths of tree[0..max_code] (bl_count[b] codes of
// b bits), bit-reversed for writing.
void GenerateCodes(TreeNode* tree, int max_code, const uint16_t* bl_count) {
  uint16_t next_code[kMaxBits + 1];
  unsigned code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + bl_count[bits - 1]) << 1;
    next_code[bits] = static_cast<uint16_t>(code);
  }
  for (int n = 0; n <= max_code; ++n) {
    const int length = tree[n].len;
    if (length != 0) tree[n].code = Reverse(next_code[length]++, length);
  }
}

struct FixedTables {
  TreeNode literal[kLiteralCodes + 2] = {};
  TreeNode distance[kDistanceCodes] = {};
  uint8_t length_code[256] = {};  // match length - 3 to its code
  uint8_t distance_code[512] = {};
  int base_length[kLengthCodes] = {};
  int base_distance[kDistanceCodes] = {};

  FixedTables() {
    int length = 0;
    int code = 0;
    for (; code < kLengthCodes - 1; ++code) {
      base_length[code] = length;
      for (int n = 0; n < (1 << kExtraLengthBits[code]); ++n) length_code[length++] = static_cast<uint8_t>(code);
    }
    length_code[length - 1] = static_cast<uint8_t>(code);  // 258 has a code of its own
    int from = 0;
    for (code = 0; code < 16; ++code) {
      base_distance[code] = from;
      for (int n = 0; n < (1 << kExtraDistanceBits[code]); ++n) distance_code[from++] = static_cast<uint8_t>(code);
    }
    from >>= 7;
    for (; code < kDistanceCodes; ++code) {
      base_distance[code] = from << 7;
      for (int n = 0; n < (1 << (kExtraDistanceBits[code] - 7)); ++n)
        distance_code[256 + from++] = static_cast<uint8_t>(code);
    }
    uint16_t bl_count[kMaxBits + 1] = {};
    for (int n = 0; n < kLiteralCodes + 2; ++n) {
      literal[n].len = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
      bl_count[literal[n].len]++;
    }
    GenerateCodes(literal, kLiteralCodes + 1, bl_count);
    for (int n = 0; n < kDistanceCodes; ++n) {
      distance[n].len = 5;
      distance[n].code = Reverse(static_cast<unsigned>(n), 5);
    }
  }
};

const FixedTables& Fixed() {
  static const FixedTables tables;
  return tables;
}

int DistanceCode(const FixedTables& fixed, uint32_t distance) {
  return distance < 256 ? fixed.distance_code[distance] : fixed.distance_code[256 + (distance >> 7)];
}

// Output: bits go in from the least significant end.

void PutByte(SlicedDeflate& s, uint8_t byte) {
  if (s.written < s.capacity)
    s.out[s.written++] = byte;
  else
    s.overflow = true;
}

void SendBits(SlicedDeflate& s, unsigned value, int length) {
  s.bits |= static_cast<uint64_t>(value) << s.bit_count;
  s.bit_count += length;
  if (s.bit_count < 32) return;
  if (s.capacity - s.written >= 4) {
    const uint32_t word = static_cast<uint32_t>(s.bits);
    s.out[s.written] = static_cast<uint8_t>(word);
    s.out[s.written + 1] = static_cast<uint8_t>(word >> 8);
    s.out[s.written + 2] = static_cast<uint8_t>(word >> 16);
    s.out[s.written + 3] = static_cast<uint8_t>(word >> 24);
    s.written += 4;
  } else {
    s.overflow = true;
  }
  s.bits >>= 32;
  s.bit_count -= 32;
}

void SendCode(SlicedDeflate& s, int symbol, const TreeNode* tree) { SendBits(s, tree[symbol].code, tree[symbol].len); }

// Pads the bits to a whole byte and writes them.
void AlignToByte(SlicedDeflate& s) {
  for (; s.bit_count > 0; s.bit_count -= 8) {
    PutByte(s, static_cast<uint8_t>(s.bits));
    s.bits >>= 8;
  }
  s.bits = 0;
  s.bit_count = 0;
}

// The window.

uint32_t ReadInput(SlicedDeflate& s, uint8_t* to, uint32_t most) {
  const uint32_t length = s.avail_in < most ? s.avail_in : most;
  if (length == 0) return 0;
  memcpy(to, s.next_in, length);
  s.adler = static_cast<uint32_t>(adler32(s.adler, to, length));
  s.next_in += length;
  s.avail_in -= length;
  return length;
}

void SlideHash(SlicedDeflate& s) {
  for (uint16_t& entry : s.head) entry = static_cast<uint16_t>(entry >= kWindowSize ? entry - kWindowSize : 0);
  for (uint16_t& entry : s.prev) entry = static_cast<uint16_t>(entry >= kWindowSize ? entry - kWindowSize : 0);
}

void UpdateHash(SlicedDeflate& s, uint8_t byte) { s.ins_h = ((s.ins_h << kHashShift) ^ byte) & kHashMask; }

// Enters the three bytes at position into the hash chains; gives the
// previous position with the same hash (0 for none).
uint32_t InsertString(SlicedDeflate& s, uint32_t position) {
  UpdateHash(s, s.window[position + kMinMatch - 1]);
  const uint16_t head = s.head[s.ins_h];
  s.prev[position & kWindowMask] = head;
  s.head[s.ins_h] = static_cast<uint16_t>(position);
  return head;
}

// Reads input while the lookahead is short, sliding the window down by half
// when the position nears its end. A match may look past the input, at bytes
// zlib has zeroed when nothing was written there yet and at what an earlier
// half of the window left otherwise; the window starts zeroed, and slides
// move what zlib moves, so those bytes are the same here.
void FillWindow(SlicedDeflate& s) {
  const uint32_t window_size = 2 * kWindowSize;
  do {
    uint32_t more = window_size - s.lookahead - s.strstart;
    if (s.strstart >= kWindowSize + kMaxDistance) {
      memcpy(s.window, s.window + kWindowSize, kWindowSize - more);
      s.match_start -= kWindowSize;
      s.strstart -= kWindowSize;
      s.block_start -= kWindowSize;
      if (s.insert > s.strstart) s.insert = s.strstart;
      SlideHash(s);
      more += kWindowSize;
    }
    if (s.avail_in == 0) break;
    s.lookahead += ReadInput(s, s.window + s.strstart + s.lookahead, more);
    if (s.lookahead + s.insert >= kMinMatch) {
      uint32_t position = s.strstart - s.insert;
      s.ins_h = s.window[position];
      UpdateHash(s, s.window[position + 1]);
      while (s.insert != 0) {
        UpdateHash(s, s.window[position + kMinMatch - 1]);
        s.prev[position & kWindowMask] = s.head[s.ins_h];
        s.head[s.ins_h] = static_cast<uint16_t>(position);
        ++position;
        --s.insert;
        if (s.lookahead + s.insert < kMinMatch) break;
      }
    }
  } while (s.lookahead < kMinLookahead && s.avail_in != 0);
}

// The longest match for the string at strstart along the hash chain from
// candidate, longer than the one already found; its start in match_start.
uint32_t LongestMatch(SlicedDeflate& s, uint32_t candidate) {
  uint32_t chain = kMaxChain;
  const uint8_t* scan = s.window + s.strstart;
  uint32_t best = s.prev_length;
  uint32_t nice = kNiceMatch;
  const uint32_t limit = s.strstart > kMaxDistance ? s.strstart - kMaxDistance : 0;
  uint8_t scan_end1 = scan[best - 1];
  uint8_t scan_end = scan[best];
  if (s.prev_length >= kGoodMatch) chain >>= 2;
  if (nice > s.lookahead) nice = s.lookahead;
  do {
    ++s.chain_steps;
    const uint8_t* match = s.window + candidate;
    if (match[best] != scan_end || match[best - 1] != scan_end1 || match[0] != scan[0] || match[1] != scan[1]) continue;
    // The third byte agrees with the hash once the first two do; zlib
    // compares from the fourth, up to the longest match.
    uint32_t length = 3;
    while (length < kMaxMatch) {
      uint64_t a;
      uint64_t b;
      memcpy(&a, scan + length, 8);
      memcpy(&b, match + length, 8);
      const uint64_t differ = a ^ b;
      if (differ != 0) {
        length += static_cast<uint32_t>(__builtin_ctzll(differ) >> 3);
        break;
      }
      length += 8;
    }
    if (length > kMaxMatch) length = kMaxMatch;
    if (length > best) {
      s.match_start = candidate;
      best = length;
      if (length >= nice) break;
      scan_end1 = scan[best - 1];
      scan_end = scan[best];
    }
  } while ((candidate = s.prev[candidate & kWindowMask]) > limit && --chain != 0);
  return best <= s.lookahead ? best : s.lookahead;
}

// The block buffer: true once it is full.

bool TallyLiteral(SlicedDeflate& s, uint8_t literal) {
  s.sym_buf[s.sym_next++] = 0;
  s.sym_buf[s.sym_next++] = 0;
  s.sym_buf[s.sym_next++] = literal;
  s.literal_tree[literal].freq++;
  return s.sym_next == 3 * kSymbolsPerBlock;
}

bool TallyMatch(SlicedDeflate& s, uint32_t distance, uint32_t length_less_3) {
  const FixedTables& fixed = Fixed();
  s.sym_buf[s.sym_next++] = static_cast<uint8_t>(distance);
  s.sym_buf[s.sym_next++] = static_cast<uint8_t>(distance >> 8);
  s.sym_buf[s.sym_next++] = static_cast<uint8_t>(length_less_3);
  s.literal_tree[fixed.length_code[length_less_3] + 257].freq++;
  s.distance_tree[DistanceCode(fixed, distance - 1)].freq++;
  return s.sym_next == 3 * kSymbolsPerBlock;
}

void ClearBlock(SlicedDeflate& s) {
  for (int n = 0; n < kLiteralCodes; ++n) s.literal_tree[n].freq = 0;
  for (int n = 0; n < kDistanceCodes; ++n) s.distance_tree[n].freq = 0;
  for (int n = 0; n < kLengthCodeCount; ++n) s.length_tree[n].freq = 0;
  s.literal_tree[kEndOfBlock].freq = 1;
  s.opt_len = 0;
  s.static_len = 0;
  s.sym_next = 0;
}

// The block so far ends here (at strstart); it is written before matching
// goes on.
void EndBlock(SlicedDeflate& s, bool last) {
  s.flush_start = s.block_start;
  s.flush_length = static_cast<uint32_t>(static_cast<int64_t>(s.strstart) - s.block_start);
  s.flush_last = last;
  s.block_start = s.strstart;
  s.phase = kBlockStart;
}

// Lazy matching over the window until the block is full, the input is all
// matched, or about budget units of work are done: a position passed or a
// candidate along a hash chain looked at is one (the chains make the cost of
// a position vary by a hundred times between flat and grainy images). Gives
// the work done.
int32_t Match(SlicedDeflate& s, int32_t budget) {
  int32_t used = 0;
  while (used < budget) {
    if (s.lookahead < kMinLookahead) {
      FillWindow(s);
      if (s.lookahead == 0) {
        if (s.match_available) {
          (void)TallyLiteral(s, s.window[s.strstart - 1]);  // the last block ends here anyway
          s.match_available = 0;
        }
        s.insert = s.strstart < kMinMatch - 1 ? s.strstart : kMinMatch - 1;
        EndBlock(s, true);
        return used;
      }
    }
    uint32_t hash_head = 0;
    if (s.lookahead >= kMinMatch) hash_head = InsertString(s, s.strstart);
    s.prev_length = s.match_length;
    s.prev_match = s.match_start;
    s.match_length = kMinMatch - 1;
    if (hash_head != 0 && s.prev_length < kMaxLazy && s.strstart - hash_head <= kMaxDistance) {
      const uint32_t steps = s.chain_steps;
      s.match_length = LongestMatch(s, hash_head);
      used += static_cast<int32_t>(s.chain_steps - steps);
      if (s.match_length == kMinMatch && s.strstart - s.match_start > kTooFar) s.match_length = kMinMatch - 1;
    }
    if (s.prev_length >= kMinMatch && s.match_length <= s.prev_length) {
      // The match at the previous position is kept.
      const uint32_t max_insert = s.strstart + s.lookahead - kMinMatch;
      const bool full = TallyMatch(s, s.strstart - 1 - s.prev_match, s.prev_length - kMinMatch);
      s.lookahead -= s.prev_length - 1;
      used += static_cast<int32_t>(s.prev_length);
      s.prev_length -= 2;
      do {
        if (++s.strstart <= max_insert) InsertString(s, s.strstart);
      } while (--s.prev_length != 0);
      s.match_available = 0;
      s.match_length = kMinMatch - 1;
      s.strstart++;
      if (full) {
        EndBlock(s, false);
        return used;
      }
    } else if (s.match_available) {
      // No better match: the previous byte goes out as a literal.
      const bool full = TallyLiteral(s, s.window[s.strstart - 1]);
      if (full) EndBlock(s, false);
      s.strstart++;
      s.lookahead--;
      ++used;
      if (full) return used;
    } else {
      s.match_available = 1;
      s.strstart++;
      s.lookahead--;
      ++used;
    }
  }
  return used;
}

// Trees.

bool Smaller(const TreeNode* tree, int n, int m, const uint8_t* depth) {
  return tree[n].freq < tree[m].freq || (tree[n].freq == tree[m].freq && depth[n] <= depth[m]);
}

void DownHeap(SlicedDeflate& s, const TreeNode* tree, int k) {
  const int v = s.heap[k];
  int j = k << 1;
  while (j <= s.heap_len) {
    if (j < s.heap_len && Smaller(tree, s.heap[j + 1], s.heap[j], s.depth)) ++j;
    if (Smaller(tree, v, s.heap[j], s.depth)) break;
    s.heap[k] = s.heap[j];
    k = j;
    j <<= 1;
  }
  s.heap[k] = v;
}

struct TreeShape {
  const TreeNode* fixed;  // the fixed tree, to count the fixed block's length
  const int* extra_bits;
  int extra_base;
  int elements;
  int max_length;
};

// Code lengths from the built tree, at most shape.max_length bits, and the
// block lengths they give.
void GenerateLengths(SlicedDeflate& s, Tree& desc, const TreeShape& shape) {
  TreeNode* tree = desc.nodes;
  const int max_code = desc.max_code;
  int overflow = 0;
  for (uint16_t& count : s.bl_count) count = 0;
  tree[s.heap[s.heap_max]].len = 0;  // the root
  int h = s.heap_max + 1;
  for (; h < kHeapSize; ++h) {
    const int n = s.heap[h];
    int bits = tree[tree[n].dad].len + 1;
    if (bits > shape.max_length) {
      bits = shape.max_length;
      ++overflow;
    }
    tree[n].len = static_cast<uint16_t>(bits);
    if (n > max_code) continue;  // not a leaf
    s.bl_count[bits]++;
    const int extra = n >= shape.extra_base ? shape.extra_bits[n - shape.extra_base] : 0;
    const uint64_t freq = tree[n].freq;
    s.opt_len += freq * static_cast<unsigned>(bits + extra);
    if (shape.fixed != nullptr) s.static_len += freq * static_cast<unsigned>(shape.fixed[n].len + extra);
  }
  if (overflow == 0) return;
  do {
    int bits = shape.max_length - 1;
    while (s.bl_count[bits] == 0) --bits;
    s.bl_count[bits]--;
    s.bl_count[bits + 1] += 2;
    s.bl_count[shape.max_length]--;
    overflow -= 2;
  } while (overflow > 0);
  for (int bits = shape.max_length; bits != 0; --bits) {
    int n = s.bl_count[bits];
    while (n != 0) {
      const int m = s.heap[--h];
      if (m > max_code) continue;
      if (tree[m].len != bits) {
        s.opt_len += (static_cast<uint64_t>(bits) - tree[m].len) * tree[m].freq;
        tree[m].len = static_cast<uint16_t>(bits);
      }
      --n;
    }
  }
}

// The Huffman tree of desc's frequencies, its lengths and codes.
void BuildTree(SlicedDeflate& s, Tree& desc, const TreeShape& shape) {
  TreeNode* tree = desc.nodes;
  int max_code = -1;
  s.heap_len = 0;
  s.heap_max = kHeapSize;
  for (int n = 0; n < shape.elements; ++n) {
    if (tree[n].freq != 0) {
      s.heap[++s.heap_len] = max_code = n;
      s.depth[n] = 0;
    } else {
      tree[n].len = 0;
    }
  }
  // At least two codes, as zlib forces them.
  while (s.heap_len < 2) {
    const int node = s.heap[++s.heap_len] = max_code < 2 ? ++max_code : 0;
    tree[node].freq = 1;
    s.depth[node] = 0;
    s.opt_len--;
    if (shape.fixed != nullptr) s.static_len -= shape.fixed[node].len;
  }
  desc.max_code = max_code;
  for (int n = s.heap_len / 2; n >= 1; --n) DownHeap(s, tree, n);
  int node = shape.elements;
  do {
    const int n = s.heap[1];
    s.heap[1] = s.heap[s.heap_len--];
    DownHeap(s, tree, 1);
    const int m = s.heap[1];
    s.heap[--s.heap_max] = n;
    s.heap[--s.heap_max] = m;
    tree[node].freq = static_cast<uint16_t>(tree[n].freq + tree[m].freq);
    s.depth[node] = static_cast<uint8_t>((s.depth[n] >= s.depth[m] ? s.depth[n] : s.depth[m]) + 1);
    tree[n].dad = tree[m].dad = static_cast<uint16_t>(node);
    s.heap[1] = node++;
    DownHeap(s, tree, 1);
  } while (s.heap_len >= 2);
  s.heap[--s.heap_max] = s.heap[1];
  GenerateLengths(s, desc, shape);
  GenerateCodes(tree, max_code, s.bl_count);
}

// How long a run of equal code lengths may grow before it is written
// (max_count) and how long it must be for a repeat code (min_count), after a
// run of curlen and before one of nextlen: zeros repeat up to 138 times, a
// length that repeats itself up to 6 times after its first.
void RunLimits(int curlen, int nextlen, int* max_count, int* min_count) {
  if (nextlen == 0) {
    *max_count = 138, *min_count = 3;
  } else if (curlen == nextlen) {
    *max_count = 6, *min_count = 3;
  } else {
    *max_count = 7, *min_count = 4;
  }
}

// Counts the code-length symbols (with their repeat codes) that describe
// tree[0..max_code].
void ScanTree(SlicedDeflate& s, TreeNode* tree, int max_code) {
  int prevlen = -1;
  int nextlen = tree[0].len;
  int count = 0;
  int max_count = 7;
  int min_count = 4;
  RunLimits(-1, nextlen, &max_count, &min_count);
  tree[max_code + 1].len = 0xFFFF;  // guard
  for (int n = 0; n <= max_code; ++n) {
    const int curlen = nextlen;
    nextlen = tree[n + 1].len;
    if (++count < max_count && curlen == nextlen) continue;
    if (count < min_count) {
      s.length_tree[curlen].freq = static_cast<uint16_t>(s.length_tree[curlen].freq + count);
    } else if (curlen != 0) {
      if (curlen != prevlen) s.length_tree[curlen].freq++;
      s.length_tree[kRepeatPrevious].freq++;
    } else if (count <= 10) {
      s.length_tree[kRepeatZero].freq++;
    } else {
      s.length_tree[kRepeatZeroLong].freq++;
    }
    count = 0;
    prevlen = curlen;
    RunLimits(curlen, nextlen, &max_count, &min_count);
  }
}

// Writes the lengths of tree[0..max_code] with the code-length codes.
void SendTree(SlicedDeflate& s, const TreeNode* tree, int max_code) {
  int prevlen = -1;
  int nextlen = tree[0].len;
  int count = 0;
  int max_count = 7;
  int min_count = 4;
  RunLimits(-1, nextlen, &max_count, &min_count);
  for (int n = 0; n <= max_code; ++n) {
    const int curlen = nextlen;
    nextlen = tree[n + 1].len;
    if (++count < max_count && curlen == nextlen) continue;
    if (count < min_count) {
      do SendCode(s, curlen, s.length_tree);
      while (--count != 0);
    } else if (curlen != 0) {
      if (curlen != prevlen) {
        SendCode(s, curlen, s.length_tree);
        --count;
      }
      SendCode(s, kRepeatPrevious, s.length_tree);
      SendBits(s, static_cast<unsigned>(count - 3), 2);
    } else if (count <= 10) {
      SendCode(s, kRepeatZero, s.length_tree);
      SendBits(s, static_cast<unsigned>(count - 3), 3);
    } else {
      SendCode(s, kRepeatZeroLong, s.length_tree);
      SendBits(s, static_cast<unsigned>(count - 11), 7);
    }
    count = 0;
    prevlen = curlen;
    RunLimits(curlen, nextlen, &max_count, &min_count);
  }
}

void FinishStream(SlicedDeflate& s) {
  AlignToByte(s);
  for (int shift = 24; shift >= 0; shift -= 8) PutByte(s, static_cast<uint8_t>(s.adler >> shift));
  s.phase = kDone;
}

// Chooses the block's kind (stored, fixed or dynamic codes, whichever is
// shortest) and writes its header; a stored block is written whole.
void StartBlock(SlicedDeflate& s) {
  const FixedTables& fixed = Fixed();
  BuildTree(s, s.literal_desc, {fixed.literal, kExtraLengthBits, 257, kLiteralCodes, kMaxBits});
  BuildTree(s, s.distance_desc, {fixed.distance, kExtraDistanceBits, 0, kDistanceCodes, kMaxBits});
  ScanTree(s, s.literal_tree, s.literal_desc.max_code);
  ScanTree(s, s.distance_tree, s.distance_desc.max_code);
  BuildTree(s, s.length_desc, {nullptr, kExtraCodeLengthBits, 0, kLengthCodeCount, kMaxCodeLengthBits});
  int max_blindex = kLengthCodeCount - 1;
  for (; max_blindex >= 3; --max_blindex)
    if (s.length_tree[kCodeLengthOrder[max_blindex]].len != 0) break;
  s.opt_len += 3 * (static_cast<uint64_t>(max_blindex) + 1) + 5 + 5 + 4;

  uint64_t opt_bytes = (s.opt_len + 3 + 7) >> 3;
  const uint64_t static_bytes = (s.static_len + 3 + 7) >> 3;
  if (static_bytes <= opt_bytes) opt_bytes = static_bytes;
  const unsigned last = s.flush_last ? 1 : 0;
  if (static_cast<uint64_t>(s.flush_length) + 4 <= opt_bytes && s.flush_start >= 0) {
    SendBits(s, last, 3);
    AlignToByte(s);
    const uint32_t length = s.flush_length;
    PutByte(s, static_cast<uint8_t>(length));
    PutByte(s, static_cast<uint8_t>(length >> 8));
    PutByte(s, static_cast<uint8_t>(~length));
    PutByte(s, static_cast<uint8_t>(~length >> 8));
    if (s.capacity - s.written >= length) {
      memcpy(s.out + s.written, s.window + s.flush_start, length);
      s.written += length;
    } else {
      s.overflow = true;
    }
    ClearBlock(s);
    if (s.flush_last)
      FinishStream(s);
    else
      s.phase = kMatching;
    return;
  }
  s.flush_static = static_bytes == opt_bytes;
  if (s.flush_static) {
    SendBits(s, (1u << 1) + last, 3);
  } else {
    SendBits(s, (2u << 1) + last, 3);
    const int literal_codes = s.literal_desc.max_code + 1;
    const int distance_codes = s.distance_desc.max_code + 1;
    SendBits(s, static_cast<unsigned>(literal_codes - 257), 5);
    SendBits(s, static_cast<unsigned>(distance_codes - 1), 5);
    SendBits(s, static_cast<unsigned>(max_blindex + 1 - 4), 4);
    for (int rank = 0; rank <= max_blindex; ++rank) SendBits(s, s.length_tree[kCodeLengthOrder[rank]].len, 3);
    SendTree(s, s.literal_tree, literal_codes - 1);
    SendTree(s, s.distance_tree, distance_codes - 1);
  }
  s.sym_sent = 0;
  s.phase = kSymbols;
}

// Writes up to budget / kSymbolWork of the block's symbols; after the last, the end of
// the block. Gives the work done.
int32_t SendSymbols(SlicedDeflate& s, int32_t budget) {
  const FixedTables& fixed = Fixed();
  const TreeNode* literals = s.flush_static ? fixed.literal : s.literal_tree;
  const TreeNode* distances = s.flush_static ? fixed.distance : s.distance_tree;
  const int32_t most = 3 * (budget / kSymbolWork + 1);
  const int32_t end = s.sym_next - s.sym_sent > most ? s.sym_sent + most : s.sym_next;
  const int32_t start = s.sym_sent;
  for (int32_t at = start; at < end; at += 3) {
    uint32_t distance = s.sym_buf[at] | (s.sym_buf[at + 1] << 8);
    const int length = s.sym_buf[at + 2];
    if (distance == 0) {
      SendCode(s, length, literals);
      continue;
    }
    int code = fixed.length_code[length];
    SendCode(s, code + 257, literals);
    if (kExtraLengthBits[code] != 0)
      SendBits(s, static_cast<unsigned>(length - fixed.base_length[code]), kExtraLengthBits[code]);
    --distance;
    code = DistanceCode(fixed, distance);
    SendCode(s, code, distances);
    if (kExtraDistanceBits[code] != 0)
      SendBits(s, distance - static_cast<uint32_t>(fixed.base_distance[code]), kExtraDistanceBits[code]);
  }
  s.sym_sent = end;
  if (end == s.sym_next) {
    SendCode(s, kEndOfBlock, literals);
    ClearBlock(s);
    if (s.flush_last)
      FinishStream(s);
    else
      s.phase = kMatching;
  }
  return kSymbolWork * (end - start) / 3 + 1;
}

}  // namespace

void StartSlicedDeflate(SlicedDeflate& s, const uint8_t* input, uint32_t size, uint8_t* out, uint32_t capacity) {
  s.next_in = input;
  s.avail_in = size;
  s.total_in = size;
  s.work_done = 0;
  s.adler = 1;
  s.out = out;
  s.capacity = capacity;
  s.written = 0;
  s.bits = 0;
  s.bit_count = 0;
  s.overflow = false;
  s.phase = kMatching;
  s.chain_steps = 0;
  s.strstart = 0;
  s.lookahead = 0;
  s.match_start = 0;
  s.prev_match = 0;
  s.match_length = kMinMatch - 1;
  s.prev_length = kMinMatch - 1;
  s.ins_h = 0;
  s.insert = 0;
  s.match_available = 0;
  s.block_start = 0;
  s.sym_sent = 0;
  s.literal_desc = {s.literal_tree, 0};
  s.distance_desc = {s.distance_tree, 0};
  s.length_desc = {s.length_tree, 0};
  memset(s.literal_tree, 0, sizeof s.literal_tree);
  memset(s.distance_tree, 0, sizeof s.distance_tree);
  memset(s.length_tree, 0, sizeof s.length_tree);
  memset(s.window, 0, sizeof s.window);
  memset(s.head, 0, sizeof s.head);
  memset(s.prev, 0, sizeof s.prev);
  ClearBlock(s);
  // The zlib header: deflate, a 32 KiB window, the default level.
  PutByte(s, 0x78);
  PutByte(s, 0x9C);
}

DeflateProgress RunSlicedDeflate(SlicedDeflate& s, int32_t work) {
  const int32_t asked = work;
  while (work > 0 && s.phase != kDone && !s.overflow) {
    switch (s.phase) {
      case kMatching:
        work -= Match(s, work);
        break;
      case kBlockStart:
        StartBlock(s);
        work -= kTreeWork;
        break;
      case kSymbols:
        work -= SendSymbols(s, work);
        break;
      default:
        break;
    }
  }
  s.work_done += static_cast<uint64_t>(static_cast<int64_t>(asked) - work);
  if (s.overflow) return DeflateProgress::kFailed;
  return s.phase == kDone ? DeflateProgress::kDone : DeflateProgress::kMore;
}

uint64_t SlicedDeflateLeastWork(const SlicedDeflate& s) { return s.work_done + s.avail_in + s.lookahead; }
