// Sizes of a screenshot's PNG, known before it is encoded, so that the
// canvas can hold the PNG that later takes its place.
#pragma once

#include <cstdint>

namespace screenshot {

// The size of the PNG for a text of text_length and n compressed bytes.
inline int32_t PngSize(int32_t text_length, int32_t n) { return 77 + text_length + n; }

// The most the deflate stream of canvas_size bytes can take.
inline int32_t DeflateBound(int32_t canvas_size) {
  const int64_t bound = static_cast<int64_t>(canvas_size) + canvas_size / 100 + 16;
  return bound > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bound);
}

}  // namespace screenshot
