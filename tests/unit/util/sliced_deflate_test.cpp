#include "util/sliced_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Compress(const Bytes& input) {
  uLongf size = compressBound(static_cast<uLong>(input.size()));
  Bytes out(size);
  EXPECT_EQ(Z_OK, compress(out.data(), &size, input.data(), static_cast<uLong>(input.size())));
  out.resize(size);
  return out;
}

// The stream in calls of `work` units each; the number of calls in *calls.
Bytes Sliced(const Bytes& input, int32_t work, int* calls = nullptr) {
  auto stream = std::make_unique<SlicedDeflate>();
  Bytes out(compressBound(static_cast<uLong>(input.size())));
  StartSlicedDeflate(*stream, input.data(), static_cast<uint32_t>(input.size()), out.data(),
                     static_cast<uint32_t>(out.size()));
  int count = 0;
  DeflateProgress progress;
  do {
    progress = RunSlicedDeflate(*stream, work);
    ++count;
  } while (progress == DeflateProgress::kMore);
  EXPECT_EQ(DeflateProgress::kDone, progress);
  if (calls != nullptr) *calls = count;
  out.resize(SlicedDeflateSize(*stream));
  return out;
}

// Rows of an image as the screenshot canvas holds them: a filter byte, then
// RGB, in flat bands with a little grain, like a sky over grass.
Bytes Canvas(int width, int height, unsigned grain, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes rows;
  for (int y = 0; y < height; ++y) {
    rows.push_back(0);
    for (int x = 0; x < width; ++x) {
      const uint8_t base = y < height / 2 ? static_cast<uint8_t>(120 + y / 16) : 60;
      const uint8_t noise = grain != 0 ? static_cast<uint8_t>(random() % grain) : 0;
      rows.push_back(static_cast<uint8_t>(base + noise));
      rows.push_back(static_cast<uint8_t>(base / 2 + noise));
      rows.push_back(static_cast<uint8_t>(200 - base));
    }
  }
  return rows;
}

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

Bytes Repeating(size_t size, size_t period) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>("deflate!"[i % period % 8] + i % period / 8);
  return bytes;
}

// Pieces of every kind deflate meets: fresh bytes, copies from near and far
// (past the distance where three-byte matches stop counting), runs, and text.
Bytes Mixed(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes;
  while (bytes.size() < size) {
    const unsigned kind = random() % 5;
    const size_t length = 1 + random() % (kind == 3 ? 600 : 80);
    if (kind == 0 || bytes.size() < 8) {
      for (size_t i = 0; i < length; ++i) bytes.push_back(static_cast<uint8_t>(random() % (1 + random() % 256)));
    } else if (kind == 1 || kind == 2) {
      const size_t reach = kind == 1 ? 64 : 40000;
      const size_t from = bytes.size() - 1 - random() % (bytes.size() < reach ? bytes.size() : reach);
      for (size_t i = 0; i < length; ++i) bytes.push_back(bytes[from + i]);
    } else if (kind == 3) {
      bytes.insert(bytes.end(), length, static_cast<uint8_t>(random()));
    } else {
      static const char* const kWords[] = {"the ", "screen ", "shot ", "of ", "a ", "game\n", "server "};
      for (size_t i = 0; i < length / 4; ++i) {
        const std::string word = kWords[random() % 7];
        bytes.insert(bytes.end(), word.begin(), word.end());
      }
    }
  }
  bytes.resize(size);
  return bytes;
}

// Three-byte matches exactly as far back as they still count, and one
// further, among bytes of 64 values (which Huffman codes shorten, so the
// block is not stored).
Bytes FarTriples() {
  Bytes bytes = Random(12000, 13);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(32 + byte % 64);
  for (int i = 0; i < 3; ++i) {
    bytes[1000 + 4096 + i] = bytes[1000 + i];
    bytes[6000 + 4097 + i] = bytes[6000 + i];
  }
  return bytes;
}

struct Case {
  const char* name;
  Bytes input;
};

// Every kind of block (stored, fixed, dynamic), blocks that end on a full
// symbol buffer, windows that slide, matches that run into the end of the
// input, and a block longer than the window (no stored copy possible).
std::vector<Case> Cases() {
  return {
      {"empty", {}},
      {"one byte", {'x'}},
      {"two bytes", {'x', 'y'}},
      {"three equal bytes", {7, 7, 7}},
      {"short text", Bytes(std::begin("hello, hello, hello world"), std::end("hello, hello, hello world"))},
      {"random 300", Random(300, 1)},
      {"three-byte matches 4096 and 4097 back", FarTriples()},
      {"random 70000 (stored blocks)", Random(70000, 2)},
      {"random 200000", Random(200000, 3)},
      {"zeros 1 MiB", Bytes(1 << 20, 0)},
      {"zeros 5 MiB (a block longer than the window)", Bytes(5 << 20, 0)},
      {"period 7, just past two windows", Repeating(65536 + 5, 7)},
      {"period 256, across slides", Repeating(3 * 32768 + 100, 256)},
      {"period 32768 + 1", Repeating(140000, 32769)},
      {"flat canvas", Canvas(280, 280, 0, 4)},
      {"canvas with grain", Canvas(640, 480, 6, 5)},
      {"noisy canvas", Canvas(300, 200, 200, 6)},
      {"mixed 100000", Mixed(100000, 7)},
      {"mixed 700000", Mixed(700000, 8)},
  };
}

TEST(SlicedDeflate, MakesTheStreamCompressMakesInCallsOfAnySize) {
  for (const Case& c : Cases()) {
    const Bytes expected = Compress(c.input);
    for (int32_t work : {1, 97, 8192, 1 << 30}) {
      if (work == 1 && c.input.size() > 100000) continue;
      SCOPED_TRACE(std::string(c.name) + ", work " + std::to_string(work));
      const Bytes got = Sliced(c.input, work);
      ASSERT_EQ(expected.size(), got.size());
      ASSERT_TRUE(expected == got);
    }
  }
}

TEST(SlicedDeflate, MatchesCompressOnManyShapesOfInput) {
  std::mt19937 random(11);
  for (int round = 0; round < 150; ++round) {
    const size_t size = random() % (round < 100 ? 3000 : 150000);
    const Bytes input = round % 3 == 0   ? Mixed(size, random())
                        : round % 3 == 1 ? Repeating(size, 1 + random() % 400)
                                         : Canvas(1 + random() % 200, 1 + random() % 60, random() % 40, random());
    SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(input.size()) + " bytes");
    ASSERT_TRUE(Compress(input) == Sliced(input, 1 + static_cast<int32_t>(random() % 20000)));
  }
}

TEST(SlicedDeflate, WritesABlockOverSeveralCalls) {
  // A canvas with grain fills whole blocks of 16 K symbols. Each call writes
  // at most work / 6 symbols (of up to 48 bits each) besides a block's
  // trees, where writing a whole block at once would write several times
  // that.
  const Bytes canvas = Canvas(640, 480, 4, 9);
  const int32_t work = 3072;
  const uint32_t most = 6 * (work / 6 + 1) + 512;
  auto stream = std::make_unique<SlicedDeflate>();
  Bytes out(compressBound(static_cast<uLong>(canvas.size())));
  StartSlicedDeflate(*stream, canvas.data(), static_cast<uint32_t>(canvas.size()), out.data(),
                     static_cast<uint32_t>(out.size()));
  uint32_t largest = 0;
  DeflateProgress progress;
  do {
    const uint32_t before = SlicedDeflateSize(*stream);
    progress = RunSlicedDeflate(*stream, work);
    largest = std::max(largest, SlicedDeflateSize(*stream) - before);
  } while (progress == DeflateProgress::kMore);
  out.resize(SlicedDeflateSize(*stream));
  EXPECT_TRUE(out == Compress(canvas));
  EXPECT_GT(out.size(), 10 * most);  // several full blocks
  EXPECT_LE(largest, most);
}

TEST(SlicedDeflate, FailsWithoutWritingPastAShortOutput) {
  const Bytes input = Random(5000, 12);
  for (uint32_t capacity : {0u, 1u, 2u, 3u, 100u, 4999u, 5000u}) {
    SCOPED_TRACE(capacity);
    auto stream = std::make_unique<SlicedDeflate>();
    Bytes out(capacity + 1, 0xEE);  // one guard byte
    StartSlicedDeflate(*stream, input.data(), static_cast<uint32_t>(input.size()), out.data(), capacity);
    DeflateProgress progress;
    do progress = RunSlicedDeflate(*stream, 1000);
    while (progress == DeflateProgress::kMore);
    EXPECT_EQ(DeflateProgress::kFailed, progress);
    EXPECT_LE(SlicedDeflateSize(*stream), capacity);
    EXPECT_EQ(0xEE, out[capacity]);
  }
}

}  // namespace
