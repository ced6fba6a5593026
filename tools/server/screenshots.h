// Screenshots the client uploads: the announcement ('G': size, MD5, tag
// letter and name) and the pieces ('H': piece number, tag, up to 1024
// bytes), put together and checked against the announced MD5.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "peer.h"

class ScreenshotReceiver {
 public:
  // Where finished screenshots are written; empty: they are not kept.
  explicit ScreenshotReceiver(std::string folder) : folder_(std::move(folder)) {}
  // Takes 'G' and 'H' payloads; gives a line to print, or an empty text.
  std::string Take(const Bytes& payload);
  int completed = 0;
  int bad = 0;

 private:
  struct Upload {
    std::string name;
    std::string md5;
    size_t size = 0;
    Bytes bytes;
    std::map<int, size_t> pieces;  // piece number -> bytes
  };
  std::map<char, Upload> uploads_;
  std::string folder_;
};
