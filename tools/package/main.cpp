// tgpackage: turns a module file into an update package, as a player's
// machine receives it from a game server.
//
//   tgpackage MODULE PACKAGE
//
// The package is an HTML page holding the records the client reads: the
// header "<p> S" with the packed and unpacked sizes (hexadecimal) and the
// MD5 of the packed data and of the packed data without its first byte,
// then the zlib-packed module as upper-case hexadecimal, 1000 digits a
// record, each closed by the next tag. It also prints the line a master's
// database needs to list the module ("<p> F" with the unpacked size and
// the two digests of the module itself), for tg_Security.
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/file_bytes.h"
#include "util/seeded_md5.h"

namespace {

std::string Md5Hex(const unsigned char* bytes, size_t length) {
  SeededMd5 md5;
  md5.Digest(bytes, static_cast<int32_t>(length), 0);
  return md5.Hex();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: tgpackage MODULE PACKAGE\n");
    return 2;
  }
  std::vector<uint8_t> module;
  if (!ReadFileBytes(argv[1], &module)) {
    fprintf(stderr, "tgpackage: cannot read %s\n", argv[1]);
    return 1;
  }
  if (module.size() < 2) {
    fprintf(stderr, "tgpackage: %s is too small to be a module\n", argv[1]);
    return 1;
  }
  uLongf packed_size = compressBound(static_cast<uLong>(module.size()));
  std::vector<unsigned char> packed(packed_size);
  if (compress(packed.data(), &packed_size, module.data(), static_cast<uLong>(module.size())) != Z_OK) {
    fprintf(stderr, "tgpackage: cannot pack %s\n", argv[1]);
    return 1;
  }
  packed.resize(packed_size);
  FILE* out = fopen(argv[2], "wb");
  if (out == nullptr) {
    fprintf(stderr, "tgpackage: cannot write %s\n", argv[2]);
    return 1;
  }
  fprintf(out, "<html><body>\r\n<p> S %X %X %s %s<br>\r\n", static_cast<unsigned>(packed.size()),
          static_cast<unsigned>(module.size()), Md5Hex(packed.data(), packed.size()).c_str(),
          Md5Hex(packed.data() + 1, packed.size() - 1).c_str());
  for (size_t at = 0; at < packed.size(); at += 500) {
    fputs("<p>", out);
    for (size_t i = at; i < packed.size() && i < at + 500; ++i) fprintf(out, "%02X", packed[i]);
    fputs("\r\n", out);
  }
  fputs("</body></html>\r\n", out);
  const bool written = fclose(out) == 0;
  printf("%s: %zu bytes packed to %zu\n", argv[2], module.size(), packed.size());
  printf("listing: %X %s %s\n", static_cast<unsigned>(module.size()), Md5Hex(module.data(), module.size()).c_str(),
         Md5Hex(module.data() + 1, module.size() - 1).c_str());
  return written ? 0 : 1;
}
