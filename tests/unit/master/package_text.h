// Update packages as a server hands them out, for the tests: the records
// inside an HTML page, the packed module in records of 1000 digits.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <string>

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
