// Update packages as a server hands them out, for the tests: the records
// inside an HTML page, the packed module in records of 1000 digits.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "util/seeded_md5.h"

inline std::string Md5Hex(const std::string& bytes) {
  SeededMd5 md5;
  md5.Digest(bytes.data(), static_cast<int32_t>(bytes.size()), 0);
  return md5.Hex();
}

inline std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

inline std::string Packed(const std::string& module) {
  uLongf n = compressBound(static_cast<uLong>(module.size()));
  std::string out(n, '\0');
  compress(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(module.data()),
           static_cast<uLong>(module.size()));
  out.resize(n);
  return out;
}

struct PackageText {
  std::string header_words;  // after "S"
  std::string data;          // the data records
  std::string closing = "</body></html>\r\n";
  std::string Text() const { return "<html><body>\r\n<p> S " + header_words + "<br>\r\n" + data + closing; }
};

inline PackageText MakePackage(const std::string& module, const std::string& packed) {
  PackageText package;
  char sizes[40];
  snprintf(sizes, sizeof sizes, "%zX %zX ", packed.size(), module.size());
  package.header_words = sizes + Md5Hex(packed) + " " + Md5Hex(packed.substr(1));
  const std::string hex = Hex(packed);
  for (size_t at = 0; at < hex.size(); at += 1000) package.data += "<P>" + hex.substr(at, 1000) + "\r\n";
  return package;
}

// The whole package of a module.
inline std::string PackageOf(const std::string& module) { return MakePackage(module, Packed(module)).Text(); }

// The 'H' payloads a server streams a download in: a big-endian chunk index
// and at most 1024 bytes each.
inline std::vector<std::vector<uint8_t>> UpdateChunks(const std::string& file) {
  std::vector<std::vector<uint8_t>> chunks;
  for (size_t at = 0, index = 0; at < file.size(); at += 1024, ++index) {
    const std::string piece = file.substr(at, 1024);
    std::vector<uint8_t> chunk(3 + piece.size());
    chunk[0] = 'H';
    chunk[1] = static_cast<uint8_t>(index >> 8);
    chunk[2] = static_cast<uint8_t>(index);
    memcpy(chunk.data() + 3, piece.data(), piece.size());
    chunks.push_back(chunk);
  }
  return chunks;
}
