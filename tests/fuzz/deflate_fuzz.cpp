// The screenshot's deflate stream against zlib's compress(): any bytes, in
// calls of any size, give exactly compress()'s stream. The first two bytes
// pick the work of a call; the rest is the input.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/sliced_deflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 300000) return 0;
  const int32_t work = 1 + ((data[0] | (data[1] << 8)) % 20000);
  const uint8_t* input = data + 2;
  const uLong length = static_cast<uLong>(size - 2);

  uLongf expected_size = compressBound(length);
  std::vector<uint8_t> expected(expected_size);
  if (compress(expected.data(), &expected_size, input, length) != Z_OK) abort();

  static SlicedDeflate* stream = new SlicedDeflate;
  std::vector<uint8_t> out(compressBound(length));
  StartSlicedDeflate(*stream, input, static_cast<uint32_t>(length), out.data(), static_cast<uint32_t>(out.size()));
  DeflateProgress progress;
  do progress = RunSlicedDeflate(*stream, work);
  while (progress == DeflateProgress::kMore);
  if (progress != DeflateProgress::kDone || SlicedDeflateSize(*stream) != expected_size ||
      memcmp(out.data(), expected.data(), expected_size) != 0)
    abort();  // a stream that is not compress()'s is a finding
  return 0;
}
